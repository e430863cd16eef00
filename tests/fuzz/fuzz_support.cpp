#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kestrane::fuzz {
namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path);
}

void remove_tree(const std::string& path)
{
    ::nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string make_scratch()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kestrane-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

} // namespace

const std::string& scratch_directory()
{
    static const std::string directory = [] {
        std::string made = make_scratch();
        static std::string to_remove;
        to_remove = made;
        std::atexit([] { remove_tree(to_remove); });
        return made;
    }();
    return directory;
}

std::string scratch_path(const std::string& name)
{
    return scratch_directory() + "/" + name;
}

void write_file(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::abort();
    }
    for (size_t done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written <= 0) {
            std::perror(path.c_str());
            std::abort();
        }
        done += static_cast<size_t>(written);
    }
    ::close(fd);
}

void write_file(const std::string& path, const Bytes& bytes)
{
    write_file(path, bytes.data(), bytes.size());
}

Bytes read_file(const std::string& path, bool* exists)
{
    Bytes bytes;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (exists)
        *exists = fd >= 0;
    if (fd < 0)
        return bytes;
    uint8_t block[65536];
    ssize_t got;
    while ((got = ::read(fd, block, sizeof block)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    ::close(fd);
    return bytes;
}

bool file_exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

void empty_directory(const std::string& directory)
{
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    for (const std::string& name : names)
        remove_tree(directory + "/" + name);
}

size_t entry_count(const std::string& directory)
{
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        return 0;
    size_t count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++count;
    }
    ::closedir(dir);
    return count;
}

std::string cut_text(const Bytes& bytes, size_t offset, size_t count)
{
    std::string text;
    for (size_t i = offset; i < offset + count; ++i) {
        const uint8_t byte = i < bytes.size() ? bytes[i] : 0;
        if (byte == 0)
            break;
        text += static_cast<char>(byte);
    }
    return text;
}

uint32_t u32_at(const Bytes& bytes, size_t offset)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t{offset + i < bytes.size() ? bytes[offset + i] : uint8_t{0}} << (8 * i);
    return value;
}

void fail(const char* file, int line, const std::string& what)
{
    std::fprintf(stderr, "\n%s:%d: property does not hold: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace kestrane::fuzz
