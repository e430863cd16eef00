#include "cli/verify_report.h"

#include "cli/console.h"
#include "cli/info_report.h"
#include "common/paths.h"
#include "common/text_format.h"
#include "common/path_rules.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstdlib>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kestrane {
namespace {

constexpr std::string_view kPassinEnv = "env:";
constexpr std::string_view kPassinFile = "file:";

// The first line of a file, as OpenSSL's tools take a passphrase from it.
std::optional<std::string> first_line_of(const std::string& path)
{
    QFile file(to_qpath(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    std::string passphrase = line.toStdString();
    OPENSSL_cleanse(line.data(), static_cast<size_t>(line.size()));
    return passphrase;
}

// Asked on the terminal, without echo; nothing when there is no terminal to ask on.
std::optional<std::string> passphrase_from_terminal(const std::string& key_path)
{
#ifndef _WIN32
    if (!isatty(STDIN_FILENO))
        return std::nullopt;
#endif
    char buffer[1024];
    const std::string prompt = "Enter pass phrase for " + escape_control_characters(key_path) + ":";
    if (EVP_read_pw_string(buffer, sizeof buffer, prompt.c_str(), 0) != 0)
        return std::nullopt;
    std::string passphrase = buffer;
    OPENSSL_cleanse(buffer, sizeof buffer);
    return passphrase;
}

PassphraseSource passphrase_source(const VerifyCommand& command)
{
    const std::optional<std::string> passin = command.passin;
    const std::string key_path = command.private_key;
    return [passin, key_path]() -> std::optional<std::string> {
        if (!passin)
            return passphrase_from_terminal(key_path);
        if (passin->starts_with(kPassinEnv)) {
            const char* value = std::getenv(passin->substr(kPassinEnv.size()).c_str());
            return value ? std::optional<std::string>(value) : std::nullopt;
        }
        return first_line_of(passin->substr(kPassinFile.size()));
    };
}

const char* result_word(VerifyCheck::Result result)
{
    switch (result) {
    case VerifyCheck::Result::Passed:
        return "passed";
    case VerifyCheck::Result::Failed:
        return "FAILED";
    case VerifyCheck::Result::NotChecked:
        break;
    }
    return "not checked";
}

// ---- Text: one labelled line a field or check; a package file's packages indented under their number.

void print_check(std::FILE* out, const VerifyCheck& check, const std::string& indent = "")
{
    print_line(out, indent + check.label + ": " + result_word(check.result) + " (" + check.detail + ")");
}

void print_header(std::FILE* out, const HeaderSummary& summary, const std::string& indent)
{
    const std::pair<const char*, const std::string*> fields[] = {{"Type", &summary.type_tag},
                                                                 {"Attribute", &summary.attribute_tag},
                                                                 {"Model", &summary.model_tag},
                                                                 {"Version", &summary.version},
                                                                 {"CompanyName", &summary.company_name}};
    for (const auto& [label, value] : fields)
        print_line(out, indent + label + (value->empty() ? ":" : ": " + *value));
}

void print_text(std::FILE* out, const VerificationReport& report, const std::string& package_path)
{
    print_line(out, "File: " + last_path_component(package_path));
    if (report.outcome != VerificationReport::Outcome::Verified) {
        print_line(out, report.message);
        print_line(out, "Verification: FAILED");
        return;
    }
    print_header(out, report.summary, "");
    print_check(out, report.sealing_key);
    for (const VerifiedPackage& package : report.packages) {
        const std::string indent = package.entry == 0 ? "" : "  ";
        if (package.entry != 0) {
            print_line(out, format_text("Package %zu:", package.entry));
            print_header(out, package.opening.summary, indent);
        }
        for (const VerifyCheck& check : package.opening.checks)
            print_check(out, check, indent);
    }
    for (const VerifyCheck& check : report.file_checks)
        print_check(out, check);
    if (report.restored)
        print_check(out, *report.restored);
    print_line(out, std::string("Verification: ") + (report.passed() ? "passed" : "FAILED"));
}

// ---- JSON: one object on one line, texts as -info -json writes them.

QJsonObject json_check(const VerifyCheck& check)
{
    QJsonObject object;
    object.insert(QStringLiteral("check"), QString::fromLatin1(check.id));
    object.insert(QStringLiteral("passed"), check.passed());
    object.insert(QStringLiteral("result"), QString::fromLatin1(result_word(check.result)).toLower());
    put_text(object, QStringLiteral("detail"), check.detail);
    return object;
}

QJsonArray json_checks(const std::vector<VerifyCheck>& checks)
{
    QJsonArray array;
    for (const VerifyCheck& check : checks)
        array.append(json_check(check));
    return array;
}

QJsonObject json_of(const VerificationReport& report, const std::string& package_path)
{
    QJsonObject object;
    put_text(object, QStringLiteral("file"), last_path_component(package_path));
    object.insert(QStringLiteral("passed"), report.passed());
    if (report.outcome != VerificationReport::Outcome::Verified) {
        put_text(object, QStringLiteral("message"), report.message);
        return object;
    }
    put_header(object, report.summary);
    std::vector<VerifyCheck> checks = {report.sealing_key};
    QJsonArray packages;
    for (const VerifiedPackage& package : report.packages) {
        if (package.entry == 0) {
            checks.insert(checks.end(), package.opening.checks.begin(), package.opening.checks.end());
            continue;
        }
        QJsonObject item;
        item.insert(QStringLiteral("entry"), static_cast<qint64>(package.entry));
        put_header(item, package.opening.summary);
        item.insert(QStringLiteral("passed"), package.opening.passed());
        item.insert(QStringLiteral("checks"), json_checks(package.opening.checks));
        packages.append(item);
    }
    checks.insert(checks.end(), report.file_checks.begin(), report.file_checks.end());
    if (report.restored)
        checks.push_back(*report.restored);
    object.insert(QStringLiteral("checks"), json_checks(checks));
    object.insert(QStringLiteral("packages"), packages);
    return object;
}

void print_json(std::FILE* out, const QJsonObject& object)
{
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

} // namespace

bool is_passin_source(const std::string& value)
{
    return (value.starts_with(kPassinEnv) && value.size() > kPassinEnv.size())
        || (value.starts_with(kPassinFile) && value.size() > kPassinFile.size());
}

void print_verification(std::FILE* out, InfoFormat format, const VerificationReport& report,
                        const std::string& package_path)
{
    if (format == InfoFormat::Json)
        print_json(out, json_of(report, package_path));
    else
        print_text(out, report, package_path);
}

bool run_verify_command(const VerifyCommand& command, std::FILE* out, InfoFormat format, IoPolicy& io)
{
    const VerifyRequest request{command.package, command.private_key, passphrase_source(command), command.key_file,
                                command.destination};
    const VerificationReport report = verify_package(request, io);
    print_verification(out, format, report, command.package);
    return report.passed();
}

} // namespace kestrane
