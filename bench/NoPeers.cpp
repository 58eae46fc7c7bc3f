// Where the peers are not built (Windows), the benchmark has none.
#include "Contenders.h"

const Reader* FindPeerReader(const std::string&) { return nullptr; }
const Writer* FindPeerWriter(const std::string&) { return nullptr; }
