#include "ZELBasXmlDocument.h"

ZELBasXmlDocument::ZELBasXmlDocument() : currentDepth(0), ptr(nullptr), parseCache(nullptr) {}

ZELBasXmlDocument::ZELBasXmlDocument(const ZELString& name)
    : fileName(name), currentDepth(0), ptr(nullptr), parseCache(nullptr) {}

ZELBasXmlDocument::~ZELBasXmlDocument() { ptr = nullptr; }
