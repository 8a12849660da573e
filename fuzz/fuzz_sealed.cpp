// Fuzzes opening a sealed container: arbitrary bytes, as a string and as a
// file on disk. Only an intact container opens; sealing then opening gives
// the bytes back.
#include "save_crypt.h"  // before anything that pulls in <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>

#include "sealed_file.h"

namespace {

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/zxrc-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    g_path = tmpl + "/settings.dat";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string plain = "untouched";
    const crypt::ReadResult opened = crypt::decrypt(bytes, &plain);
    if (opened == crypt::ReadResult::Ok) {
        if (plain.size() + crypt::kHeaderBytes != bytes.size()) __builtin_trap();
    } else if (!plain.empty()) {
        __builtin_trap();
    }
    std::string back;
    if (crypt::decrypt(crypt::encrypt(bytes), &back) != crypt::ReadResult::Ok || back != bytes) __builtin_trap();

    const int fd = ::open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return 0;
    const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!written) return 0;
    std::string text;
    const sealed::Result read = sealed::read(g_path, text);
    if ((read == sealed::Result::Ok) != (opened == crypt::ReadResult::Ok)) __builtin_trap();
    if (read == sealed::Result::Ok && text != plain) __builtin_trap();
    ::unlink(g_path.c_str());
    ::unlink((g_path + sealed::kBrokenSuffix).c_str());
    return 0;
}
