#include "cli/info_report.h"

#include "cli/console.h"
#include "common/text_format.h"
#include "common/path_rules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace kestrane {
namespace {

// The line that says why a file was not examined, and the JSON word for it.
struct Refusal {
    const char* error;
    std::string message;
};

Refusal refusal_of(const FileFacts& facts, const std::string& file_path, const std::string& key_file)
{
    switch (facts.outcome) {
    case FileFacts::Outcome::KeyFileInvalid:
        return {"invalid company key file", format_text("invalid company key file[file:%s]", key_file.c_str())};
    case FileFacts::Outcome::FileInvalid:
        return {"invalid path", format_text("Path[%s] is invalid", file_path.c_str())};
    case FileFacts::Outcome::NotTaggedFile:
    case FileFacts::Outcome::Inspected:
        break;
    }
    return {"not a tagged file", format_text("Path[%s] is not a tagged file", file_path.c_str())};
}

// What every check and content says, in the words of the text lines and of the JSON values.

const char* trailer_word(IntegrityCheck trailer)
{
    switch (trailer) {
    case IntegrityCheck::Passes:
        return "matches";
    case IntegrityCheck::Fails:
        return "does not match";
    case IntegrityCheck::Truncated:
        return "missing";
    case IntegrityCheck::Unreadable:
        break;
    }
    return "unreadable";
}

const char* layout_word(PackageLayout layout)
{
    switch (layout) {
    case PackageLayout::Fits:
        return "fit";
    case PackageLayout::DoesNotFit:
        return "do not fit";
    case PackageLayout::Unreadable:
        break;
    }
    return "unreadable";
}

const char* fit_word(bool fits)
{
    return fits ? "fits" : "does not fit";
}

// ---- Text: one labelled field a line.

// Header fields come from the file: print_line escapes their control characters, so that a field
// stays on its own line and cannot pass for another line.
void print_field(std::FILE* out, const std::string& label, const std::string& value)
{
    print_line(out, value.empty() ? label + ":" : label + ": " + value);
}

void print_header(std::FILE* out, const HeaderSummary& summary, const std::string& indent)
{
    print_field(out, indent + "Type", summary.type_tag);
    print_field(out, indent + "Attribute", summary.attribute_tag);
    print_field(out, indent + "Model", summary.model_tag);
    print_field(out, indent + "Version", summary.version);
    print_field(out, indent + "CompanyName", summary.company_name);
}

const char* trailer_line(IntegrityCheck trailer)
{
    switch (trailer) {
    case IntegrityCheck::Passes:
        return "MD5 trailer: matches";
    case IntegrityCheck::Fails:
        return "MD5 trailer: does not match";
    case IntegrityCheck::Truncated:
        return "MD5 trailer: missing, the file's length does not fit its payload length";
    case IntegrityCheck::Unreadable:
        break;
    }
    return "MD5 trailer: the file cannot be read";
}

// The body length of an encrypted package and, when it was checked, its tag.
void print_package_checks(std::FILE* out, const FileFacts& facts)
{
    if (!facts.body_length) {
        print_line(out, "Body length: does not fit the file");
        return;
    }
    print_line(out, format_text("Body length: %u", *facts.body_length));
    if (facts.tag)
        print_line(out, *facts.tag == IntegrityCheck::Passes ? "Tag: verifies" : "Tag: does not verify");
}

void print_checks(std::FILE* out, const FileFacts& facts)
{
    switch (facts.kind) {
    case FileFacts::Kind::Plain:
        print_line(out, trailer_line(facts.trailer));
        return;
    case FileFacts::Kind::Package:
        print_package_checks(out, facts);
        return;
    case FileFacts::Kind::Other:
        break;
    }
    print_line(out, "Integrity: not checked, the attribute is neither PLAN nor an encrypt mode");
}

void print_packages(std::FILE* out, const PackageListing& listing)
{
    const bool cut = listing.entries.size() == kMaxListedEntries && listing.count > kMaxListedEntries;
    print_line(out,
               cut ? format_text("Packages: %u, the first %zu listed", listing.count, kMaxListedEntries)
                   : format_text("Packages: %u", listing.count));
    for (size_t i = 0; i < listing.entries.size(); ++i) {
        const PackageEntry& entry = listing.entries[i];
        print_line(out, format_text("Package %zu:", i + 1));
        print_header(out, entry.summary, "  ");
        print_line(out, format_text("  Size: %llu", static_cast<unsigned long long>(entry.size)));
        print_line(out, std::string("  Length: ") + fit_word(entry.length_fits));
    }
    switch (listing.layout) {
    case PackageLayout::Fits:
        print_line(out, "Package entries: fit the payload");
        return;
    case PackageLayout::DoesNotFit:
        print_line(out, "Package entries: do not fit the payload");
        return;
    case PackageLayout::Unreadable:
        break;
    }
    print_line(out, "Package entries: the file cannot be read");
}

void print_text(std::FILE* out, const FileFacts& facts, const std::string& file_path)
{
    print_field(out, "File", last_path_component(file_path));
    print_header(out, facts.summary, "");
    print_checks(out, facts);
    if (facts.packages)
        print_packages(out, *facts.packages);
    if (facts.key_file)
        print_field(out, "Key file company",
                    facts.key_file->readable ? facts.key_file->company : "cannot be read");
}

} // namespace

// ---- JSON: one object. A text from the file is a JSON string, with U+FFFD for every byte that
// is not UTF-8; it then has a second member "<key>_hex" with its bytes in hexadecimal, so that
// nothing is lost.

void put_text(QJsonObject& object, const QString& key, const std::string& bytes)
{
    const QByteArray raw = QByteArray::fromStdString(bytes);
    // QString::fromUtf8 would drop a leading U+FEFF, a character the field holds like any other.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder(raw);
    object.insert(key, text);
    if (text.toUtf8() != raw)
        object.insert(key + QStringLiteral("_hex"), QString::fromLatin1(raw.toHex()));
}

void put_header(QJsonObject& object, const HeaderSummary& summary)
{
    put_text(object, QStringLiteral("type"), summary.type_tag);
    put_text(object, QStringLiteral("attribute"), summary.attribute_tag);
    put_text(object, QStringLiteral("model"), summary.model_tag);
    put_text(object, QStringLiteral("version"), summary.version);
    put_text(object, QStringLiteral("company"), summary.company_name);
}

namespace {

QJsonValue word_or_null(bool applies, const char* word)
{
    return applies ? QJsonValue(QString::fromLatin1(word)) : QJsonValue();
}

const char* kind_word(FileFacts::Kind kind)
{
    switch (kind) {
    case FileFacts::Kind::Plain:
        return "plain";
    case FileFacts::Kind::Package:
        return "encrypted";
    case FileFacts::Kind::Other:
        break;
    }
    return "other";
}

void put_checks(QJsonObject& object, const FileFacts& facts)
{
    const bool plain = facts.kind == FileFacts::Kind::Plain;
    const bool encrypted = facts.kind == FileFacts::Kind::Package;
    const bool tag_checked = encrypted && facts.tag;
    object.insert(QStringLiteral("kind"), QString::fromLatin1(kind_word(facts.kind)));
    object.insert(QStringLiteral("md5_trailer"), word_or_null(plain, trailer_word(facts.trailer)));
    object.insert(QStringLiteral("body_length"), word_or_null(encrypted, fit_word(facts.body_length.has_value())));
    object.insert(QStringLiteral("body_size"),
                  facts.body_length ? QJsonValue(qint64{*facts.body_length}) : QJsonValue());
    const char* tag = !tag_checked                  ? "not checked"
        : *facts.tag == IntegrityCheck::Passes ? "verifies"
                                                    : "does not verify";
    object.insert(QStringLiteral("tag"), word_or_null(encrypted, tag));
}

void put_packages(QJsonObject& object, const std::optional<PackageListing>& listing)
{
    QJsonArray entries;
    for (const PackageEntry& entry : listing ? listing->entries : std::vector<PackageEntry>{}) {
        QJsonObject item;
        put_header(item, entry.summary);
        item.insert(QStringLiteral("size"), static_cast<qint64>(entry.size));
        item.insert(QStringLiteral("length"), QString::fromLatin1(fit_word(entry.length_fits)));
        entries.append(item);
    }
    object.insert(QStringLiteral("packages"), listing ? QJsonValue(entries) : QJsonValue());
    object.insert(QStringLiteral("package_count"), listing ? QJsonValue(qint64{listing->count}) : QJsonValue());
    object.insert(QStringLiteral("package_entries"),
                  word_or_null(listing.has_value(), listing ? layout_word(listing->layout) : ""));
}

void put_key_file(QJsonObject& object, const std::optional<FileFacts::KeyFileContent>& key_file)
{
    if (key_file && key_file->readable)
        put_text(object, QStringLiteral("key_file_company"), key_file->company);
    else
        object.insert(QStringLiteral("key_file_company"), QJsonValue());
}

void print_json(std::FILE* out, const QJsonObject& object)
{
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), out);
    std::fputc('\n', out);
    std::fflush(out);
}

QJsonObject json_of(const FileFacts& facts, const std::string& file_path, const std::string& key_file)
{
    QJsonObject object;
    put_text(object, QStringLiteral("file"), last_path_component(file_path));
    object.insert(QStringLiteral("passed"), facts.passed());
    if (facts.outcome != FileFacts::Outcome::Inspected) {
        const Refusal refusal = refusal_of(facts, file_path, key_file);
        object.insert(QStringLiteral("error"), QString::fromLatin1(refusal.error));
        put_text(object, QStringLiteral("message"), refusal.message);
        return object;
    }
    put_header(object, facts.summary);
    object.insert(QStringLiteral("size"), static_cast<qint64>(facts.size));
    put_checks(object, facts);
    put_packages(object, facts.packages);
    put_key_file(object, facts.key_file);
    return object;
}

} // namespace

void print_info(std::FILE* out, InfoFormat format, const FileFacts& facts, const std::string& file_path,
                const std::string& key_file)
{
    if (format == InfoFormat::Json)
        print_json(out, json_of(facts, file_path, key_file));
    else if (facts.outcome != FileFacts::Outcome::Inspected)
        print_line(out, refusal_of(facts, file_path, key_file).message);
    else
        print_text(out, facts, file_path);
}

} // namespace kestrane
