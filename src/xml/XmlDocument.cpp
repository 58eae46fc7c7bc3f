// The document's construction and destruction; reading, writing and the
// parser's callbacks are in files of their own.
#include "ZELBasXmlDocument.h"

ZELBasXmlDocument::ZELBasXmlDocument() : currentDepth(0), ptr(nullptr), parseCache(nullptr) {}

ZELBasXmlDocument::ZELBasXmlDocument(const ZELString& name)
    : fileName(name), currentDepth(0), ptr(nullptr), parseCache(nullptr) {}

ZELBasXmlDocument::~ZELBasXmlDocument() = default;
