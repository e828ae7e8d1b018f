// A stand-in child for the process runner's tests.
//   bytes TEXT CODE        write TEXT (with \r \n \0 \xNN escapes), exit with CODE
//   chunks MS TEXT...      write each TEXT, pausing MS milliseconds between them
//   flood MEGABYTES        write numbered short lines until that much is written
//   long-line MEGABYTES    write one line of that many "x" in 64 KiB pieces, then "end" on a line
//   args ARG...            write each argument on a line of its own
//   sleep SECONDS          write nothing, then exit 0
//   ignore-term SECONDS    ignore SIGTERM, say "ignoring", then sleep
//   grandchild PIDFILE     start a sleeping grandchild, write its pid, wait for it

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string unescape(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p != '\\' || !p[1]) {
            out.push_back(*p);
            continue;
        }
        ++p;
        switch (*p) {
        case 'r': out.push_back('\r'); break;
        case 'n': out.push_back('\n'); break;
        case '0': out.push_back('\0'); break;
        case 'x':
            out.push_back(static_cast<char>(std::strtol(std::string(p + 1, 2).c_str(), nullptr, 16)));
            p += 2;
            break;
        default: out.push_back(*p);
        }
    }
    return out;
}

void writeAll(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::exit(9);
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    if (mode == "bytes" && argc == 4) {
        writeAll(unescape(argv[2]));
        return std::atoi(argv[3]);
    }
    if (mode == "chunks" && argc >= 3) {
        for (int i = 3; i < argc; ++i) {
            if (i > 3)
                ::usleep(static_cast<useconds_t>(std::atoi(argv[2]) * 1000));
            writeAll(unescape(argv[i]));
        }
        return 0;
    }
    if (mode == "flood" && argc == 3) {
        const long long limit = std::atoll(argv[2]) * 1000 * 1000;
        std::string block;
        long long written = 0;
        for (long long line = 0; written < limit; ++line) {
            block += "line " + std::to_string(line) + "\n";
            if (block.size() >= 65536) {
                writeAll(block);
                written += static_cast<long long>(block.size());
                block.clear();
            }
        }
        return 0;
    }
    if (mode == "long-line" && argc == 3) {
        const std::string piece(65536, 'x');
        for (long long left = std::atoll(argv[2]) * 1000 * 1000; left > 0; left -= 65536)
            writeAll(left >= 65536 ? piece : piece.substr(0, static_cast<std::size_t>(left)));
        writeAll("\nend\n");
        return 0;
    }
    if (mode == "args") {
        for (int i = 2; i < argc; ++i)
            writeAll(std::string(argv[i]) + "\n");
        return 0;
    }
    if (mode == "sleep" && argc == 3) {
        ::sleep(static_cast<unsigned>(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "ignore-term" && argc == 3) {
        std::signal(SIGTERM, SIG_IGN);
        writeAll("ignoring\n");
        ::sleep(static_cast<unsigned>(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "grandchild" && argc == 3) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::sleep(60);
            return 0;
        }
        if (FILE* f = std::fopen(argv[2], "w")) {
            std::fprintf(f, "%d\n", static_cast<int>(child));
            std::fclose(f);
        }
        ::waitpid(child, nullptr, 0);
        return 0;
    }
    return 2;
}
