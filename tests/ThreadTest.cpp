// Separate documents on separate threads; meant for ThreadSanitizer builds.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "ZELBasXmlDocument.h"

TEST(ThreadTest, DocumentsOnSeparateThreadsDoNotInterfere) {
  TempDir dir;
  std::string failures[4];
  std::vector<std::thread> threads;
  for (int id = 0; id < 4; ++id) {
    threads.emplace_back([id, &dir, &failure = failures[id]] {
      const std::string value = std::to_string(id), path = dir.File(value + ".xml");
      std::string xml = "<doc>";
      for (int i = 0; i < 200; ++i) xml += "<item><v>" + value + "</v></item>";
      for (int round = 0; round < 20 && failure.empty(); ++round) {
        ZELBasXmlDocument document, again;
        ZELBasVector<ZELBasXmlNode> values, items;
        ZELString written;
        bool read = document.ReadString(ZELString((xml + "</doc>").c_str())) == S_OK;
        ZELBasXmlNode(document.GetRoot())
            .GetElementsByTagName(ZELString("v"), values);  // copied, then searched
        bool found = values.size() == 200 && values[199].GetData() == value.c_str();
        bool wrote = document.WriteFile(ZELString(path.c_str())) == S_OK &&
                     document.WriteString(written) == S_OK && TempDir::Read(path) == written.CastToCharPtr();
        bool back = again.ReadFile(ZELString(path.c_str())) == S_OK &&
                    again.GetRoot().GetElementsByTagName(ZELString("item"), items) == S_OK &&
                    items.size() == 200;
        if (!read || !found || !wrote || !back) failure = "round " + std::to_string(round);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int id = 0; id < 4; ++id) EXPECT_EQ(failures[id], "") << "thread " << id;
}
