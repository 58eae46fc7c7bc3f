// The long probes of writes, run as root by scripts/write-probes.sh, whose
// figures docs/limits.md gives (protection_tests runs short versions):
//
//   write_probes matrix FOLDER              the 900 cases, with /proc and
//                                           without, against the kernel
//   write_probes together FOLDER WAY N R    N writers released together R
//                                           times; WAY: normal, in-place,
//                                           mount
//   write_probes names FOLDER COUNT         a write's time with COUNT
//                                           planted names beside it
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "ProbeSupport.h"

using namespace probes;

static int Matrix(const std::string& folder) {
  int failed = 0;
  for (bool hidden : {false, true}) {
    int otherErrors = 0;
    std::map<int, int> refusals;
    std::vector<std::string> found = Disagreements(folder, 1, hidden, otherErrors, &refusals);
    std::printf("matrix %s /proc: %d cases, %zu disagreements, %d with another errno; the kernel refused",
                hidden ? "without" : "with", kCases, found.size(), otherErrors);
    for (const auto& refused : refusals)
      std::printf(" %d (%s)", refused.second, std::strerror(refused.first));
    std::printf("\n");
    for (const std::string& line : found) std::printf("  %s\n", line.c_str());
    failed |= !found.empty();
  }
  return failed;
}

static int TogetherWay(const std::string& folder, const std::string& way, int writers, int rounds) {
  std::string file = folder + "/doc.xml";
  uid_t uid = 0;
  Made(file, "old", 0, 0644);
  if (way == "in-place") {  // another user's file in its read-only folder
    Own(file, kUserA, kUserA, 0644);
    Own(folder, kUserA, kUserA, 0555);
    uid = kUserA;
  } else if (way == "mount") {
    std::string source = Made(folder + "/source", "", 0, 0644);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(source.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      std::perror("bind mount");
      return 2;
    }
  }
  int failed = 0, whole = Together(file, file, uid, writers, rounds, failed);
  std::printf("%s: %d writers, %d rounds, %d with one writer's whole text, %d failed writes\n", way.c_str(),
              writers, rounds, whole, failed);
  if (way == "mount") umount(file.c_str());
  Own(folder, 0, 0, 0755);
  return whole == rounds && failed == 0 ? 0 : 1;
}

static int Names(const std::string& folder, long count) {
  std::string target = Made(folder + "/doc.xml", "old", 0, 0644);
  auto time = [&] {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) Put(target, "new");
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / 20;
  };
  double empty = time();
  for (long i = 0; i < count; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/.doc.xml.%016lx.tmp", i + 0x1000);
    int fd = open((folder + name).c_str(), O_CREAT | O_WRONLY, 0600);
    if (fd >= 0 && fchown(fd, kUserA, kUserA) == 0) close(fd);
  }
  double full = time();
  std::printf("names: %.2f ms per write beside nothing, %.2f ms beside %ld planted names\n", empty, full,
              count);
  return 0;
}

int main(int argc, char** argv) {
  if (geteuid() != 0 || argc < 3) {
    std::fprintf(stderr, "usage (as root): write_probes matrix|together|names FOLDER ...\n");
    return 2;
  }
  std::string mode = argv[1], folder = argv[2];
  std::filesystem::create_directories(folder);
  chmod(folder.c_str(), 0755);
  if (mode == "matrix") return Matrix(folder);
  if (mode == "together" && argc == 6)
    return TogetherWay(folder, argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
  if (mode == "names" && argc == 4) return Names(folder, std::atol(argv[3]));
  return 2;
}
