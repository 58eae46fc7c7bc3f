// Separate documents on separate threads; meant for ThreadSanitizer builds.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ZELBasXmlDocument.h"

TEST(ThreadTest, DocumentsOnSeparateThreadsDoNotInterfere) {
  TempDir dir;
  std::vector<std::string> failures(4);
  std::vector<std::thread> threads;
  for (int id = 0; id < 4; ++id) {
    threads.emplace_back([id, &dir, &failure = failures[id]] {
      std::string xml = "<doc>", path = dir.File("doc" + std::to_string(id) + ".xml");
      for (int i = 0; i < 200; ++i) xml += "<item><v>" + std::to_string(id) + "</v></item>";
      xml += "</doc>";
      for (int round = 0; round < 20 && failure.empty(); ++round) {
        ZELBasXmlDocument document, again;
        ZELBasVector<ZELBasXmlNode> values, items;
        ZELString written;
        if (document.ReadString(ZELString(xml.c_str())) != S_OK) failure = "read";
        ZELBasXmlNode(document.GetRoot()).GetElementsByTagName(ZELString("v"), values);
        if (values.size() != 200 || values[199].GetData().CastToCharPtr() != std::to_string(id))
          failure = "copy and search";
        if (document.WriteFile(ZELString(path.c_str())) != S_OK || document.WriteString(written) != S_OK ||
            TempDir::Read(path) != written.CastToCharPtr())
          failure = "write";
        if (again.ReadFile(ZELString(path.c_str())) != S_OK ||
            again.GetRoot().GetElementsByTagName(ZELString("item"), items) != S_OK || items.size() != 200)
          failure = "read back";
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int id = 0; id < 4; ++id) EXPECT_EQ(failures[id], "") << "thread " << id;
}
