// What the probes of writes run as root share (protection_tests, and
// write_probes for the long runs): two throwaway users, the kernel's
// fs.protected_* settings for a while, a body run as a user in a child
// process, a file written through Fopen, writers released together, and
// the matrix of cases that compares Fopen(path, "w") with the kernel's own
// open of the same path, case by case.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <linux/fuse.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ZELBasShared.h"

namespace probes {

// Users of no account: they own only what the probes give them.
const uid_t kUserA = 4242, kUserB = 4243;

// Sets /proc/sys/fs/protected_<name> for the object's time.
class Sysctl {
public:
  Sysctl(const std::string& name, const std::string& value) : path("/proc/sys/fs/protected_" + name) {
    std::ifstream(path) >> old;
    Set(value);
  }
  Sysctl(const Sysctl&) = delete;
  Sysctl& operator=(const Sysctl&) = delete;
  ~Sysctl() { Set(old); }
  void Set(const std::string& value) const { std::ofstream(path) << value; }

private:
  std::string path, old;
};

// Writes `text` to `path` through Fopen(path, "w"); 0, or the errno of the
// open or the close.
inline int Put(const std::string& path, const std::string& text) {
  FILE* stream = ZELBasFileOps::Fopen(ZELString(path.c_str()), "w");
  if (stream == nullptr) return errno;
  std::fwrite(text.data(), 1, text.size(), stream);
  return ZELBasFileOps::Fclose(stream) == 0 ? 0 : errno;
}

// Hides /proc from this process: a mount namespace of its own, tmpfs over
// /proc.
inline bool HideProc() {
  return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", "/proc", "tmpfs", 0, "size=4k") == 0;
}

inline bool BecomeUser(uid_t uid) {
  return uid == 0 ||
         (setgroups(0, nullptr) == 0 && setresgid(uid, uid, uid) == 0 && setresuid(uid, uid, uid) == 0);
}

// Runs `body` in a child process as `uid` (0: root), without /proc when
// asked; the child's exit status is `body`'s (128 + a signal that ended it).
inline int As(uid_t uid, const std::function<int()>& body, bool hideProc = false) {
  pid_t child = fork();
  if (child == 0) std::_Exit((!hideProc || HideProc()) && BecomeUser(uid) ? body() : 125);
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline void Own(const std::string& path, uid_t uid, gid_t gid, mode_t mode) {
  lchown(path.c_str(), uid, gid);
  if (!std::filesystem::is_symlink(path)) chmod(path.c_str(), mode);
}

inline std::string Made(const std::string& path, const std::string& text, uid_t uid, mode_t mode) {
  std::ofstream(path) << text;
  Own(path, uid, uid, mode);
  return path;
}

// Runs `writers` processes, each as `uid` and each writing its own text to
// `path`, released together, `rounds` times; the rounds after which `file`
// held one writer's whole text, and in `failed` the writes that failed.
inline int Together(const std::string& file, const std::string& path, uid_t uid, int writers, int rounds,
                    int& failed) {
  std::vector<std::string> texts;
  for (int w = 0; w < writers; ++w)
    texts.push_back(std::string(50000 + w * 3001, static_cast<char>('a' + w % 26)));
  int whole = 0;
  failed = 0;
  for (int round = 0; round < rounds; ++round) {
    int gate[2];
    if (pipe(gate) != 0) return whole;
    std::vector<pid_t> children;
    for (int w = 0; w < writers; ++w) {
      pid_t child = fork();
      if (child == 0) {
        close(gate[1]);
        char go;
        bool ok = BecomeUser(uid) && read(gate[0], &go, 1) == 0;
        std::_Exit(ok && Put(path, texts[static_cast<size_t>(w)]) == 0 ? 0 : 1);
      }
      children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);  // every writer goes now
    for (pid_t child : children) {
      int status = -1;
      waitpid(child, &status, 0);
      failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::ifstream in(file, std::ios::binary);
    std::string left((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& text : texts) whole += left == text;
  }
  return whole;
}

// A FUSE file system mounted over a regular file, served by a thread of
// this process, that answers what the kernel asks except an open, which it
// never answers: whoever opens the file waits until the file system goes.
// Counts the opens asked for.
class HangingFuseFile {
public:
  explicit HangingFuseFile(const std::string& file) : path(file) {
    device = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    std::string options =
        "fd=" + std::to_string(device) + ",rootmode=100644,user_id=0,group_id=0,allow_other";
    mounted = device >= 0 &&
              mount("zelbas-probe", file.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    if (mounted) server = std::thread([this] { Serve(); });
  }
  HangingFuseFile(const HangingFuseFile&) = delete;
  HangingFuseFile& operator=(const HangingFuseFile&) = delete;
  // Closing the device ends every wait on the file system (once no child
  // holds it), and the server.
  ~HangingFuseFile() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
    if (device >= 0) close(device);
    if (server.joinable()) server.join();
  }
  bool Mounted() const { return mounted; }
  int Opens() const { return opens; }
  // For a child process, which must not keep the file system alive.
  void CloseInChild() const { close(device); }

private:
  void Reply(const fuse_in_header& in, int error, const void* body, size_t size) {
    char out[sizeof(fuse_out_header) + sizeof(fuse_init_out) + sizeof(fuse_attr_out)] = {};
    fuse_out_header header = {static_cast<uint32_t>(sizeof header + size), error, in.unique};
    std::memcpy(out, &header, sizeof header);
    std::memcpy(out + sizeof header, body, size);
    if (write(device, out, header.len) < 0) return;  // the kernel gave up on the request
  }
  void Serve() {
    std::vector<char> buffer(1 << 20);
    for (ssize_t got; (got = read(device, buffer.data(), buffer.size())) > 0;) {
      fuse_in_header in;
      std::memcpy(&in, buffer.data(), sizeof in);
      if (in.opcode == FUSE_INIT) {
        fuse_init_out init = {};
        init.major = FUSE_KERNEL_VERSION;
        init.minor = FUSE_KERNEL_MINOR_VERSION;
        init.max_write = 4096;
        Reply(in, 0, &init, sizeof init);
      } else if (in.opcode == FUSE_GETATTR) {
        fuse_attr_out attributes = {};
        attributes.attr = {1, 0, 0, 0, 0, 0, 0, 0, 0, S_IFREG | 0644, 1, 0, 0, 0, 4096, 0};
        Reply(in, 0, &attributes, sizeof attributes);
      } else if (in.opcode == FUSE_OPEN) {
        ++opens;  // never answered
      } else if (in.opcode != FUSE_INTERRUPT && in.opcode != FUSE_FORGET) {
        Reply(in, -ENOSYS, nullptr, 0);
      }
    }
  }

  std::string path;
  int device = -1;
  bool mounted = false;
  std::atomic<int> opens{0};
  std::thread server;
};

// The matrix: writer, folder (owner, group, mode), what the name holds, and
// the three settings, each at each of its levels.
struct Case {
  int writer, folder, file, levels;
};
const uid_t kWriters[] = {0, kUserA};
struct FolderKind {
  uid_t owner;
  gid_t group;
  mode_t mode;
};
const FolderKind kFolders[] = {
    {0, 0, 01777}, {0, 0, 0777}, {kUserB, kUserB, 01777}, {0, kUserA, 01770}, {kUserA, kUserA, 0755}};
const char* const kFiles[] = {
    "nothing",       "root's file 0644",   "A's file 0644",       "B's file 0666",     "B's file 0644",
    "B's FIFO 0666", "B's link to a file", "B's link to nothing", "A's link to a file"};
const char* const kLevels[] = {"000", "100", "010", "020", "001", "002", "111", "122", "112", "121"};
const int kCases = 2 * 5 * 9 * 10;

inline Case CaseAt(int index) { return {index % 2, index / 2 % 5, index / 10 % 9, index / 90}; }

inline std::string Describe(const Case& c) {
  const FolderKind& f = kFolders[c.folder];
  char folder[64];
  std::snprintf(folder, sizeof folder, "folder %u:%u %04o", f.owner, f.group, f.mode);
  return std::string(c.writer == 0 ? "root" : "A") + ", " + folder + ", " + kFiles[c.file] +
         ", symlinks/regular/fifos " + kLevels[c.levels];
}

inline void SetLevels(const Case& c) {
  const char* names[] = {"symlinks", "regular", "fifos"};
  for (int i = 0; i < 3; ++i) {
    std::ofstream("/proc/sys/fs/protected_" + std::string(names[i])) << kLevels[c.levels][i];
  }
}

// Lays the case out afresh under `root` (a folder others may enter); the
// path to write. A FIFO gets a reader, held in `reader`.
inline std::string Build(const std::string& root, const Case& c, int& reader) {
  namespace fs = std::filesystem;
  std::string folder = root + "/case", side = root + "/side", path = folder + "/out.xml";
  fs::remove_all(folder);
  fs::remove_all(side);
  fs::create_directory(side);
  Own(side, 0, 0, 0777);
  Made(side + "/target", "side", kUserB, 0666);
  fs::create_directory(folder);
  Own(folder, kFolders[c.folder].owner, kFolders[c.folder].group, kFolders[c.folder].mode);
  const uid_t owners[] = {0, 0, kUserA, kUserB, kUserB, kUserB, kUserB, kUserB, kUserA};
  const mode_t modes[] = {0, 0644, 0644, 0666, 0644, 0666, 0, 0, 0};
  reader = -1;
  if (c.file >= 1 && c.file <= 4) Made(path, "old", owners[c.file], modes[c.file]);
  if (c.file == 5 && mkfifo(path.c_str(), 0666) == 0) {
    Own(path, kUserB, kUserB, 0666);
    reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  }
  if (c.file >= 6 && symlink((side + (c.file == 7 ? "/missing" : "/target")).c_str(), path.c_str()) == 0) {
    Own(path, owners[c.file], owners[c.file], 0);
  }
  return path;
}

// The kernel's own answer for a shell's `>`: 0 or its errno.
inline int KernelOpen(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) return errno;
  close(fd);
  return 0;
}

struct Outcome {
  int kernel, ours;
};

// One case, the kernel's open and Fopen each on a fresh layout.
inline Outcome Run(const std::string& root, const Case& c, bool hideProc) {
  SetLevels(c);
  Outcome outcome;
  int reader;
  std::string path = Build(root, c, reader);
  outcome.kernel = As(kWriters[c.writer], [&] { return KernelOpen(path); });
  if (reader >= 0) close(reader);
  path = Build(root, c, reader);
  outcome.ours = As(
      kWriters[c.writer], [&] { return Put(path, "new"); }, hideProc);
  if (reader >= 0) close(reader);
  return outcome;
}

// Runs every `stride`th case; the cases where Fopen and the kernel
// disagree on whether the write may happen, one line each, in
// `otherErrors` those where both refuse for different reasons, and in
// `refusals` the kernel's refusals by errno.
inline std::vector<std::string> Disagreements(const std::string& root, int stride, bool hideProc,
                                              int& otherErrors, std::map<int, int>* refusals = nullptr) {
  Sysctl symlinks("symlinks", "1"), regular("regular", "0"), fifos("fifos", "0");  // restored after
  std::vector<std::string> found;
  otherErrors = 0;
  for (int index = 0; index < kCases; index += stride) {
    Case c = CaseAt(index);
    Outcome o = Run(root, c, hideProc);
    if ((o.kernel == 0) != (o.ours == 0)) {
      found.push_back(Describe(c) + ": kernel " + std::to_string(o.kernel) + ", Fopen " +
                      std::to_string(o.ours));
    }
    otherErrors += o.kernel != o.ours;
    if (refusals != nullptr && o.kernel != 0) ++(*refusals)[o.kernel];
  }
  return found;
}

}  // namespace probes
