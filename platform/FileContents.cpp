#include "FileContents_p.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace mivora {

TFileContents ReadFileContents(const std::string& Path, uint64_t MaxBytes) {
  auto fail = [](std::string Reason) { return TFileContents{{}, std::move(Reason)}; };
  const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(std::strerror(errno));
  struct Closer {
    int Fd;
    ~Closer() { ::close(Fd); }
  } closer{fd};
  struct stat info{};
  if (::fstat(fd, &info) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return fail("not a regular file");
  if (static_cast<uint64_t>(info.st_size) > MaxBytes) {
    return fail("the file is too large (" + std::to_string(info.st_size) + " bytes, at most " +
                std::to_string(MaxBytes) + ")");
  }
  std::string data(static_cast<size_t>(info.st_size), '\0');
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(std::strerror(errno));
    }
    if (n == 0) break; // the file shrank while we read it
    done += static_cast<size_t>(n);
  }
  data.resize(done);
  return TFileContents{std::move(data), {}};
}

} // namespace mivora
