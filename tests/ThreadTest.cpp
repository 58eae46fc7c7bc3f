// Separate documents on separate threads: built for ThreadSanitizer
// (ZELBAS_SANITIZE_THREAD), and run in every build.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

std::string Written(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return out.CastToCharPtr();
}

// One thread's work: parse, copy, search, write to a file of its own and
// read it back.
void Work(int id, const std::string& folder, std::string& failure) {
  std::string xml = "<doc id=\"" + std::to_string(id) + "\">";
  for (int i = 0; i < 200; ++i)
    xml += "<item n=\"" + std::to_string(i) + "\"><v>" + std::to_string(id) + "</v></item>";
  xml += "</doc>";
  for (int round = 0; round < 20; ++round) {
    ZELBasXmlDocument document;
    if (document.ReadString(ZELString(xml.c_str())) != S_OK) return void(failure = "read");
    ZELBasXmlNode copy(document.GetRoot());
    ZELBasVector<ZELBasXmlNode> values;
    copy.GetElementsByTagName(ZELString("v"), values);
    if (values.size() != 200 || std::string(values[199].GetData().CastToCharPtr()) != std::to_string(id)) {
      return void(failure = "search");
    }
    std::string path = folder + "/doc" + std::to_string(id) + ".xml";
    if (document.WriteFile(ZELString(path.c_str())) != S_OK) return void(failure = "write");
    if (TempDir::Read(path) != Written(document)) return void(failure = "file");
    ZELBasXmlDocument again;
    ZELBasVector<ZELBasXmlNode> items;
    if (again.ReadFile(ZELString(path.c_str())) != S_OK ||
        again.GetRoot().GetElementsByTagName(ZELString("item"), items) != S_OK || items.size() != 200) {
      return void(failure = "read back");
    }
  }
}

}  // namespace

TEST(ThreadTest, DocumentsOnSeparateThreadsDoNotInterfere) {
  TempDir dir;
  const int kThreads = 4;
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int id = 0; id < kThreads; ++id) threads.emplace_back(Work, id, dir.path, std::ref(failures[id]));
  for (std::thread& thread : threads) thread.join();
  for (int id = 0; id < kThreads; ++id) EXPECT_EQ(failures[id], "") << "thread " << id;
}
