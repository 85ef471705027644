// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of `gaptool show`: what a formatter that does the least work writes for a GAP file
// whose records all hold times above zero (as the benchmark's file does), byte for byte what
// gaptool writes (the benchmark checks that). The file is read whole, each line is made with
// hand-written digit loops into a buffer of 64 KiB, and the buffer is written out whenever it is
// full. Nothing of the program's own code is used.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

char buffer[1 << 16];
std::size_t used = 0;

void flush() {
    for (std::size_t done = 0; done < used;) {
        const ssize_t put = ::write(1, buffer + done, used - done);
        if (put <= 0)
            return;
        done += static_cast<std::size_t>(put);
    }
    used = 0;
}

template <std::size_t N>
void put(const char (&text)[N]) {
    std::memcpy(buffer + used, text, N - 1);
    used += N - 1;
}

void decimal(std::int64_t value) {
    used = static_cast<std::size_t>(
        std::to_chars(buffer + used, buffer + sizeof buffer, value).ptr - buffer);
}

void hex(std::uint32_t value) {
    char digits[8];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value & 15U];
        value >>= 4;
    } while (value != 0);
    while (count > 0)
        buffer[used++] = digits[--count];
}

std::int32_t field(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
                                     std::uint32_t{bytes[at + 2]} << 16 |
                                     std::uint32_t{bytes[at + 3]} << 24);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const int file = ::open(argv[1], O_RDONLY);
    struct stat status {};
    if (file < 0 || ::fstat(file, &status) != 0)
        return 2;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(status.st_size));
    if (::read(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return 2;
    ::close(file);

    put(">> Designing Graph\n");
    std::int64_t total = 0;
    for (std::size_t at = 0; at + 8 <= bytes.size(); at += 8) {
        if (used > sizeof buffer - 128)
            flush();
        const std::int32_t start = field(bytes, at);
        const std::int32_t end = field(bytes, at + 4);
        put("Silence: ");
        if (start >= 0)
            buffer[used++] = ' ';
        decimal(start);
        put(" (");
        hex(static_cast<std::uint32_t>(start));
        put(") - ");
        decimal(end);
        put(" (");
        hex(static_cast<std::uint32_t>(end));
        put(")\n");
        total += std::int64_t{end} - start;
    }
    const std::int32_t last = bytes.size() >= 8 ? field(bytes, bytes.size() - 4) : 0;
    put("Silence Count : ");
    decimal(static_cast<std::int64_t>(bytes.size() / 8));
    put("\nSource Length : Bigger than  ");
    decimal(last);
    put(" msecs.\nSilences Length :  ");
    decimal(total);
    put("\n");
    flush();
    return 0;
}
