#include "support/test_support.h"

#include "common/program_directory.h"
#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace kestrane::test {

TempDir::TempDir() : m_path(QDir::toNativeSeparators(m_dir.path()).toStdString())
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

std::string TempDir::file(const std::string& name) const
{
    std::string path = m_path + "/" + name; // the bytes as given: a name need not be UTF-8
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    const QDir::Filters filter = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QString& name : QDir(QString::fromStdString(m_path)).entryList(filter, QDir::Name))
        names.push_back(name.toStdString());
    return names;
}

namespace {

// Where the native profile is the registry (Windows), setPath does not move it: the tests run in a
// throwaway Wine prefix, and the program's key is emptied before and after each test.
void clear_registry_profile()
{
#ifdef _WIN32
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Tev", QString::fromStdString(settings_application_name()))
        .clear();
#endif
}

} // namespace

void IsolatedSettings::SetUp()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(m_profile.path()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(m_profile.path()));
    clear_registry_profile();
    set_program_directory(m_program.path());
}

void IsolatedSettings::TearDown()
{
    set_program_directory("");
    clear_registry_profile();
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
    ProcessOptions options;
    options.standard_input = standard_input;
    options.working_directory = working_directory;
    return run_program(program, arguments, options);
}

void start_program(QProcess& process, const std::string& program, const std::vector<std::string>& arguments,
                   const ProcessOptions& options)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& name : options.unset)
        environment.remove(QString::fromStdString(name));
    for (const auto& [name, value] : options.set)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    process.setProcessEnvironment(environment);
    if (!options.working_directory.empty())
        process.setWorkingDirectory(QString::fromStdString(options.working_directory));
    QStringList list;
    for (const auto& argument : arguments)
        list << QString::fromStdString(argument);
    process.start(QString::fromStdString(program), list);
}

ProcessResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                          const ProcessOptions& options)
{
    const Bytes& standard_input = options.standard_input;
    QProcess process;
    start_program(process, program, arguments, options);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    if (!standard_input.empty())
        process.write(reinterpret_cast<const char*>(standard_input.data()),
                      static_cast<qint64>(standard_input.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(options.timeout_ms)) {
        process.kill();
        process.waitForFinished();
    }
    result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standard_output = process.readAllStandardOutput().toStdString();
    result.standard_error = process.readAllStandardError().toStdString();
    return result;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

void make_uimage(const std::string& path, const std::string& image_name, const Bytes& data)
{
    const std::string data_path = path + ".data";
    write_bytes(data_path, data);
    const ProcessResult result = run_process(
        "mkimage", {"-A", "arm", "-O", "linux", "-T", "kernel", "-C", "none", "-a", "0", "-e", "0", "-n",
                    image_name, "-d", data_path, path});
    QFile::remove(QString::fromStdString(data_path));
    if (result.exit_code != 0)
        throw std::runtime_error("mkimage failed: " + result.standard_error + result.standard_output);
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

std::string make_web(const TempDir& dir, const std::string& name, WebImage image)
{
    const std::string web = dir.file(name);
    QDir().mkpath(QString::fromStdString(web));
    write_text(web + "/index.html", "<html>camera</html>");
    if (image == WebImage::Included) {
        QDir().mkpath(QString::fromStdString(web + "/img"));
        write_bytes(web + "/img/logo.png", pattern_bytes(3000, 4));
    }
    return web;
}

testing::AssertionResult wrapped_as(const std::string& path, const std::string& type, const std::string& model,
                                    const std::string& version, const Bytes* payload)
{
    const Bytes file = read_bytes(path);
    if (file.size() < 156)
        return testing::AssertionFailure() << path << " is only " << file.size() << " bytes";
    const size_t length = file[136] | file[137] << 8 | file[138] << 16 | size_t{file[139]} << 24;
    if (file.size() != 156 + length)
        return testing::AssertionFailure() << "length field " << length << " for a file of " << file.size();
    Bytes model_field(4, 0), version_field(20, 0);
    std::copy(model.begin(), model.end(), model_field.begin());
    std::copy(version.begin(), version.begin() + std::min<size_t>(8, version.size()), version_field.begin());
    if (version.size() > 8)
        std::copy(version.begin() + 8, version.end(), version_field.begin() + 8);
    Bytes stored_version(file.begin() + 12, file.begin() + 20);
    stored_version.insert(stored_version.end(), file.begin() + 52, file.begin() + 64);
    if (text_at(file, 0, 8) != type + "PLAN" || Bytes(file.begin() + 8, file.begin() + 12) != model_field
        || stored_version != version_field)
        return testing::AssertionFailure() << "header " << to_hex(file.data(), 64);
    if (payload && (payload->size() != length || !std::equal(payload->begin(), payload->end(), file.begin() + 140)))
        return testing::AssertionFailure() << "payload differs";
    const Bytes covered(file.begin(), file.end() - 16);
    if (to_hex(file.data() + file.size() - 16, 16) != openssl_md5_hex(covered))
        return testing::AssertionFailure() << "MD5 trailer does not match openssl";
    return testing::AssertionSuccess();
}

std::string openssl_hmac_md5_hex(const Bytes& key, const Bytes& data)
{
    const ProcessResult result = run_process(
        "openssl", {"dgst", "-md5", "-r", "-mac", "HMAC", "-macopt", "hexkey:" + to_hex(key)}, data);
    if (result.exit_code != 0)
        throw std::runtime_error("openssl dgst -mac HMAC failed: " + result.standard_error);
    return first_word(result.standard_output);
}

std::string openssl_key_fingerprint(const std::string& pem)
{
    const ProcessResult der = run_process("openssl", {"pkey", "-pubin", "-in", pem, "-outform", "DER"});
    EXPECT_EQ(der.exit_code, 0) << der.standard_error;
    const ProcessResult sum = run_process("sha256sum", {}, bytes_of(der.standard_output));
    return sum.standard_output.substr(0, 64);
}

std::string test_data_path(const std::string& name)
{
    return std::string(KESTRANE_TEST_DATA_DIR) + "/" + name;
}

namespace {

// The development private key, parsed once.
EVP_PKEY* development_private_key()
{
    static EVP_PKEY* key = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        const std::string path = test_data_path("development-sealing-key.private.pem");
        BIO* file = BIO_new_file(path.c_str(), "r");
        key = file ? PEM_read_bio_PrivateKey(file, nullptr, nullptr, nullptr) : nullptr;
        BIO_free(file);
        if (!key)
            throw std::runtime_error("cannot parse " + path);
    });
    return key;
}

} // namespace

Bytes unseal_block_raw(const uint8_t* block)
{
    Bytes plain(128);
    size_t length = plain.size();
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(development_private_key(), nullptr);
    const bool opened = context && EVP_PKEY_decrypt_init(context) == 1
        && EVP_PKEY_CTX_set_rsa_padding(context, RSA_NO_PADDING) == 1
        && EVP_PKEY_decrypt(context, plain.data(), &length, block, 128) == 1 && length == plain.size();
    EVP_PKEY_CTX_free(context);
    if (!opened)
        throw std::runtime_error("RSA private operation failed");
    return plain;
}

::testing::AssertionResult block_seals(const uint8_t* block, const Bytes& chunk)
{
    const Bytes plain = unseal_block_raw(block);
    if (plain[0] != 0x00 || plain[1] != 0x02)
        return ::testing::AssertionFailure() << "block does not open to 00 02: " << to_hex(plain);
    const size_t separator = 127 - chunk.size();
    for (size_t i = 2; i < separator; ++i)
        if (plain[i] == 0)
            return ::testing::AssertionFailure() << "zero padding byte at " << i << ": " << to_hex(plain);
    if (plain[separator] != 0)
        return ::testing::AssertionFailure() << "no 00 separator at " << separator << ": " << to_hex(plain);
    if (!std::equal(chunk.begin(), chunk.end(), plain.begin() + static_cast<std::ptrdiff_t>(separator + 1)))
        return ::testing::AssertionFailure() << "chunk differs: " << to_hex(plain);
    return ::testing::AssertionSuccess();
}

Bytes plain_tagged_bytes(const std::string& type, const Bytes& payload, const std::string& version)
{
    Bytes file = bytes_of(type + "PLAN");
    file.resize(140, 0);
    std::copy(version.begin(), version.begin() + std::min<size_t>(8, version.size()), file.begin() + 12);
    const auto length = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        file[136 + i] = static_cast<uint8_t>(length >> (8 * i));
    file.insert(file.end(), payload.begin(), payload.end());
    file.resize(file.size() + 16);
    renew_md5_trailer(file);
    return file;
}

void renew_md5_trailer(Bytes& file)
{
    unsigned int length_written = 0;
    if (EVP_Digest(file.data(), file.size() - 16, file.data() + file.size() - 16, &length_written, EVP_md5(),
                   nullptr) != 1)
        throw std::runtime_error("OpenSSL MD5 failed");
}

::testing::AssertionResult package_matches(const Bytes& package, const Bytes& input, const std::string& mode,
                                           const std::string& company, const Bytes& key)
{
    using ::testing::AssertionFailure;
    const bool basic = mode == "ENCR";
    const size_t length = input[136] | input[137] << 8 | input[138] << 16 | size_t{input[139]} << 24;
    const Bytes source = basic ? Bytes(input.begin() + 136, input.begin() + static_cast<std::ptrdiff_t>(136 + length + 20))
                               : input;
    const bool copied = text_at(input, 0, 4) == "PKG0";
    const size_t m = source.size();
    const size_t body = copied ? m : (m >= 1044 ? m + 108 : 128 * (m / 116 + 1));
    if (package.size() != body + 284)
        return AssertionFailure() << "package is " << package.size() << " bytes, expected " << body + 284;

    Bytes expected_header(input.begin(), input.begin() + 136);
    std::copy(mode.begin(), mode.end(), expected_header.begin() + 4);
    std::fill(expected_header.begin() + 20, expected_header.begin() + 36, 0);
    std::copy(company.begin(), company.end(), expected_header.begin() + 20);
    if (!std::equal(expected_header.begin(), expected_header.end(), package.begin()))
        return AssertionFailure() << "header differs: " << to_hex(package.data(), 136);
    const size_t stored = package[136] | package[137] << 8 | package[138] << 16 | size_t{package[139]} << 24;
    if (stored != body)
        return AssertionFailure() << "body length field " << stored << ", expected " << body;

    if (copied) {
        if (!std::equal(source.begin(), source.end(), package.begin() + 140))
            return AssertionFailure() << "package file body not copied unchanged";
    } else {
        const size_t sealed_source = std::min<size_t>(m, 1044);
        const size_t blocks = m >= 1044 ? 9 : m / 116 + 1;
        for (size_t b = 0; b < blocks; ++b) {
            const size_t offset = b * 116;
            const size_t count = std::min<size_t>(116, sealed_source - offset);
            const Bytes chunk(source.begin() + static_cast<std::ptrdiff_t>(offset),
                              source.begin() + static_cast<std::ptrdiff_t>(offset + count));
            if (auto sealed = block_seals(package.data() + 140 + b * 128, chunk); !sealed)
                return sealed << " (body block " << b << ")";
        }
        if (m > 1044 && !std::equal(source.begin() + 1044, source.end(), package.begin() + 140 + 1152))
            return AssertionFailure() << "unsealed tail differs from the body source";
    }

    Bytes key_block_plain = key;
    for (int i = 8; i < 116; ++i)
        key_block_plain.push_back(static_cast<uint8_t>(i));
    if (auto sealed = block_seals(package.data() + 140 + body, key_block_plain); !sealed)
        return sealed << " (key block)";

    const Bytes tagged(package.begin(), package.end() - 16);
    const std::string tag = to_hex(package.data() + package.size() - 16, 16);
    if (tag != openssl_hmac_md5_hex(key, tagged))
        return AssertionFailure() << "tag " << tag << " is not the HMAC-MD5 of the package";
    return ::testing::AssertionSuccess();
}

bool FaultyIo::may_write(size_t count)
{
    int64_t left = m_bytes_left.load();
    while (left >= 0) {
        if (left < static_cast<int64_t>(count)) {
            m_bytes_left.store(0);
            return false;
        }
        if (m_bytes_left.compare_exchange_weak(left, left - static_cast<int64_t>(count)))
            return true;
    }
    return true;
}

bool FaultyIo::may_start_thread()
{
    int left = m_starts_left.load();
    while (left > 0 && !m_starts_left.compare_exchange_weak(left, left - 1)) {
    }
    return left != 0;
}

void MessageLog::record(const std::string& text, MessageIcon icon)
{
    m_messages.push_back(text);
    m_icons.push_back(icon);
}

void MessageLog::clear()
{
    m_messages.clear();
    m_icons.clear();
}

} // namespace kestrane::test
