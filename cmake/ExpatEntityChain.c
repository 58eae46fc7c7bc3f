/* Run at configure time against the Expat found: reads a chain of 200,000
 * entities, each defined as a reference to the one before, the last one
 * referenced in the root. An Expat that expands such a chain by recursion
 * overflows the stack and this program dies; one that copes prints its
 * version and the outcome, and exits 0. The parse runs on a thread with a
 * 1 MiB stack, so that the verdict is the same whatever the shell's stack
 * limit (with none, the recursion never runs out). */
#include <expat.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

enum { kEntities = 200000, kStack = 1 << 20 };

struct Read {
  char* text;
  int length;
  enum XML_Status status;
  enum XML_Error error;
};

/* <!DOCTYPE r [<!ENTITY e0 "x"><!ENTITY e1 "&e0;">...]><r>&e199999;</r> */
static int Compose(struct Read* read) {
  const size_t capacity = 64 + (size_t)kEntities * 40;
  read->text = malloc(capacity);
  if (read->text == NULL) return 0;
  int at = snprintf(read->text, capacity, "<!DOCTYPE r [\n<!ENTITY e0 \"x\">\n");
  for (int i = 1; i < kEntities; ++i) {
    at += snprintf(read->text + at, capacity - at, "<!ENTITY e%d \"&e%d;\">\n", i, i - 1);
  }
  at += snprintf(read->text + at, capacity - at, "]>\n<r>&e%d;</r>\n", kEntities - 1);
  read->length = at;
  return 1;
}

static void* Parse(void* argument) {
  struct Read* read = argument;
  XML_Parser parser = XML_ParserCreate(NULL);
  if (parser == NULL) return NULL;
  read->status = XML_Parse(parser, read->text, read->length, XML_TRUE);
  read->error = XML_GetErrorCode(parser);
  XML_ParserFree(parser);
  return read;
}

int main(void) {
  struct Read read = {NULL, 0, XML_STATUS_ERROR, XML_ERROR_NONE};
  if (!Compose(&read)) {
    fputs("out of memory\n", stderr);
    return 2;
  }
  pthread_attr_t attributes;
  pthread_t thread;
  void* done = NULL;
  if (pthread_attr_init(&attributes) != 0 || pthread_attr_setstacksize(&attributes, kStack) != 0 ||
      pthread_create(&thread, &attributes, Parse, &read) != 0 || pthread_join(thread, &done) != 0 ||
      done == NULL) {
    fputs("could not run the parse\n", stderr);
    return 2;
  }
  printf("%s: %s\n", XML_ExpatVersion(),
         read.status == XML_STATUS_OK ? "read" : (const char*)XML_ErrorString(read.error));
  free(read.text);
  return 0;
}
