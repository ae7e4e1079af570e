// Stands in for net.exe: prints every argument after its own name as the C
// runtime's parser reads it, in code page 936, each ended by a NUL; then the
// text of ZEPH_ECHO_SAY; exits with ZEPH_ECHO_EXIT (default 0).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <string>

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string out;
    for (int i = 1; i < argc; ++i) {
        char buf[8192];
        const int n = WideCharToMultiByte(936, 0, argv[i], -1, buf, sizeof buf, nullptr, nullptr);
        out.append(buf, n > 0 ? std::size_t(n) : 0); // n counts the NUL
    }
    if (const char* say = std::getenv("ZEPH_ECHO_SAY"))
        out += say;
    // Byte for byte: text mode would turn each LF into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    const char* code = std::getenv("ZEPH_ECHO_EXIT");
    return code ? std::atoi(code) : 0;
}
