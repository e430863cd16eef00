#include "support/test_support.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <stdexcept>

namespace kestrane::test {

TempDir::TempDir() : m_path(m_dir.path().toStdString())
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

Bytes read_bytes(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    const QByteArray data = file.readAll();
    return Bytes(data.begin(), data.end());
}

void write_bytes(const std::string& path, const Bytes& bytes)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()))
            != static_cast<qint64>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
}

void write_text(const std::string& path, const std::string& text)
{
    write_bytes(path, bytes_of(text));
}

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes pattern_bytes(size_t count, uint32_t seed)
{
    Bytes bytes(count);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

std::string to_hex(const uint8_t* data, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

std::string text_at(const Bytes& bytes, size_t offset, size_t count)
{
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

bool all_zero(const Bytes& bytes, size_t offset, size_t count)
{
    for (size_t i = offset; i < offset + count; ++i)
        if (bytes.at(i) != 0)
            return false;
    return true;
}

ProcessResult run_process(const std::string& program, const std::vector<std::string>& arguments,
                          const Bytes& standard_input, const std::string& working_directory)
{
    QProcess process;
    QStringList list;
    for (const auto& argument : arguments)
        list << QString::fromStdString(argument);
    if (!working_directory.empty())
        process.setWorkingDirectory(QString::fromStdString(working_directory));
    process.start(QString::fromStdString(program), list);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!standard_input.empty())
        process.write(reinterpret_cast<const char*>(standard_input.data()),
                      static_cast<qint64>(standard_input.size()));
    process.closeWriteChannel();
    process.waitForFinished(300000);
    result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standard_output = process.readAllStandardOutput().toStdString();
    result.standard_error = process.readAllStandardError().toStdString();
    return result;
}

namespace {

// "openssl dgst -r" prints "<hex> *stdin".
std::string first_word(const std::string& text)
{
    return text.substr(0, text.find_first_of(" \n"));
}

} // namespace

std::string openssl_md5_hex(const Bytes& data)
{
    const ProcessResult result = run_process("openssl", {"dgst", "-md5", "-r"}, data);
    if (result.exit_code != 0)
        throw std::runtime_error("openssl dgst -md5 failed: " + result.standard_error);
    return first_word(result.standard_output);
}

std::string openssl_hmac_md5_hex(const Bytes& key, const Bytes& data)
{
    const ProcessResult result = run_process(
        "openssl", {"dgst", "-md5", "-r", "-mac", "HMAC", "-macopt", "hexkey:" + to_hex(key)}, data);
    if (result.exit_code != 0)
        throw std::runtime_error("openssl dgst -mac HMAC failed: " + result.standard_error);
    return first_word(result.standard_output);
}

std::string test_data_path(const std::string& name)
{
    return std::string(KESTRANE_TEST_DATA_DIR) + "/" + name;
}

} // namespace kestrane::test
