// The node's attribute map: the map's instantiation, with its pair's
// replicator pieces and the string comparator, exported from this module.
#include "ZELBasMap.h"

template struct ZELBasPair<const ZELString, ZELString>;
template class ZELBasMap<ZELString, ZELString>;
template class ZELBasTreeIterator<ZELBasAttributePair, ZELBasAttributePair&, ZELBasAttributePair*>;
template class ZELBasTreeIterator<ZELBasAttributePair, const ZELBasAttributePair&,
                                  const ZELBasAttributePair*>;
template struct ZELBasComparitor<ZELString>;
template struct ZELBasReplicator<ZELBasAttributePair>;
template ZELBASXMLDOCUMENT_API void ZELBasStandardCopy<ZELBasAttributePair>(const void*, void*, size_t);
template ZELBASXMLDOCUMENT_API void ZELBasStandardDestroy<ZELBasAttributePair>(const void*, size_t);
template ZELBASXMLDOCUMENT_API bool ZELBasStandardComparitor<ZELString>(const void*, const void*,
                                                                        const void*);
