#!/usr/bin/env bash
# Writes into DIR documents that exercise the parser's configuration and the
# 262,144-byte chunks of a read in pieces: errors and tokens across chunk
# boundaries, encodings, DTDs, entities (recursive, amplified, undefined),
# character references, CDATA.
#   generate_documents.sh DIR
set -eu
dir="$1"
mkdir -p "$dir"
cd "$dir"
chunk=262144

# repeat N TEXT: TEXT N times.
repeat() { local i; for ((i = 0; i < $1; i++)); do printf '%s' "$2"; done; }

{
  printf '<!DOCTYPE lolz [<!ENTITY lol0 "lol">'
  for ((i = 1; i < 10; i++)); do printf '<!ENTITY lol%d "%s">' $i "$(repeat 10 "&lol$((i - 1));")"; done
  printf ']><lolz>&lol9;</lolz>'
} >laughs.xml
{
  printf '<!DOCTYPE d [<!ENTITY e0 "ab">'
  for ((i = 1; i < 5; i++)); do printf '<!ENTITY e%d "%s">' $i "$(repeat 8 "&e$((i - 1));")"; done
  printf ']><d>&e4;<i>&e3;</i></d>'
} >amplified-within-limits.xml
printf '<!DOCTYPE d [<!ENTITY a "&b;"><!ENTITY b "&a;">]><d>&a;</d>' >entity-recursive.xml
printf '<?xml version="1.0" standalone="yes"?><d>&undefined;</d>' >entity-undefined.xml
printf '<!DOCTYPE d SYSTEM "d.dtd"><d>&external;</d>' >entity-external-dtd.xml
printf '<!DOCTYPE d [<!ENTITY %% p "<!ATTLIST d x CDATA \x27dx\x27>">%%p;<!ATTLIST e y CDATA #FIXED "fy">]><d><e/></d>' \
  >dtd-parameter-entity-defaults.xml
printf '<d>&#x10FFFF;&#65;&#x20AC;</d>' >charref-valid.xml
printf '<d>&#0;</d>' >charref-null.xml
printf '<d>&#xD800;</d>' >charref-surrogate.xml
printf '<?xml version="1.0" encoding="ISO-8859-1"?><d a="\xe9">caf\xe9</d>' >latin1.xml
printf '<?xml version="1.0" encoding="x-unknown"?><d/>' >encoding-unknown.xml
printf '\xff\xfe<\0d\0>\0\xac\x20<\0/\0d\0>\0' >utf16le-bom.xml
printf '\xfe\xff\0<\0d\0>\0<\0/\0e\0>' >utf16be-mismatch.xml
printf '<d><![CDATA[a]]b<c>]]></d><!-- after -->' >cdata.xml
printf '<?xml version="1.0"?>\n<?pi data?>\n<d xmlns:p="urn:p" p:a="1"><p:e/></d>' >namespace-prefixes.xml

# Across the chunk boundary: an error just past it, on a long first line
# and after many lines; a multi-byte character, a CDATA section and an
# attribute value cut by it; text that runs over several chunks.
{ printf '<d>'; repeat $((chunk / 8)) '<e>x</e>'; printf '<bad></d>'; } >error-after-chunk-one-line.xml
{ printf '<d>\n'; repeat $((chunk / 9)) $'<e>x</e>\n'; printf '<e a="1" a="2"/></d>'; } >error-after-chunk-lines.xml
{ printf '<d>'; head -c $((chunk - 4)) /dev/zero | tr '\0' y; printf '\xc3\xa9\xe2\x82\xacz</d>'; } >utf8-split.xml
{ printf '<d>'; head -c $((chunk - 12)) /dev/zero | tr '\0' y; printf '<![CDATA[<x>]]></d>'; } >cdata-split.xml
{ printf '<d a="'; head -c $((3 * chunk)) /dev/zero | tr '\0' v; printf '"/>'; } >attribute-long.xml
{ printf '<d>'; head -c $((2 * chunk + 100)) /dev/zero | tr '\0' t; printf '&amp;<\xff/d>'; } >text-long-bad-byte.xml
