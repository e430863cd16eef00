#include "cli/run_manifest.h"

#include "cli/info_report.h"
#include "common/paths.h"
#include "common/text_format.h"
#include "ops/build_identity.h"
#include "ops/run_record.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cstdlib>
#include <system_error>

namespace kestrane {
namespace {

// The last second an ISO 8601 date with a four-digit year can name: 9999-12-31T23:59:59Z.
constexpr int64_t kLastIsoSecond = 253402300799;

// SOURCE_DATE_EPOCH as reproducible builds define it: decimal seconds since the epoch.
std::optional<int64_t> source_date_epoch(const std::string& text)
{
    int64_t seconds = 0;
    const char* end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, seconds);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end || seconds < 0 || seconds > kLastIsoSecond)
        return std::nullopt;
    return seconds;
}

std::string iso_time(int64_t seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate).toStdString();
}

const char* role_word(InputRole role)
{
    switch (role) {
    case InputRole::KeyFile:
        return "key_file";
    case InputRole::Package:
        return "package";
    case InputRole::Source:
        break;
    }
    return "source";
}

// Size and SHA-256 of a file; null for a directory, which is named only.
void put_file(QJsonObject& object, const RecordedFile& file)
{
    put_text(object, QStringLiteral("path"), file.path);
    object.insert(QStringLiteral("size"), file.directory ? QJsonValue() : QJsonValue(static_cast<qint64>(file.size)));
    object.insert(QStringLiteral("sha256"),
                  file.directory ? QJsonValue() : QJsonValue(QString::fromStdString(file.sha256)));
}

QJsonObject input_json(const RunFacts::Input& input)
{
    QJsonObject object;
    put_file(object, input.file);
    object.insert(QStringLiteral("role"), QString::fromLatin1(role_word(input.role)));
    object.insert(QStringLiteral("kind"), input.file.directory ? QStringLiteral("directory") : QStringLiteral("file"));
    return object;
}

QJsonObject output_json(const RunFacts::Output& output)
{
    QJsonObject object;
    put_file(object, output.file);
    put_header(object, output.header);
    const std::string& attribute = output.header.attribute_tag;
    const bool encrypted = attribute == tags::kEncryptBasic || attribute == tags::kEncryptNew;
    object.insert(QStringLiteral("encrypt_mode"),
                  encrypted ? QJsonValue(QString::fromStdString(attribute)) : QJsonValue());
    return object;
}

QByteArray manifest_document(const RunFacts& facts, ProgramKind program, int64_t time)
{
    const BuildIdentity identity = build_identity();
    QJsonObject manifest;
    manifest.insert(QStringLiteral("program"), QString::fromLatin1(program_name(program)));
    manifest.insert(QStringLiteral("program_version"), QString::fromStdString(identity.version_text));
    manifest.insert(QStringLiteral("sealing_key_fingerprint"), QString::fromStdString(identity.fingerprint));
    manifest.insert(QStringLiteral("development_sealing_key"), identity.development_sealing_key);
    manifest.insert(QStringLiteral("time"), QString::fromStdString(iso_time(time)));
    manifest.insert(QStringLiteral("time_epoch"), static_cast<qint64>(time));
    QJsonArray inputs;
    for (const RunFacts::Input& input : facts.inputs)
        inputs.append(input_json(input));
    QJsonArray outputs;
    for (const RunFacts::Output& output : facts.outputs)
        outputs.append(output_json(output));
    manifest.insert(QStringLiteral("inputs"), inputs);
    manifest.insert(QStringLiteral("outputs"), outputs);
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}

} // namespace

std::optional<RunManifest> RunManifest::start(FrontEnd& front, ProgramKind program, const std::string& path)
{
    // Known before the run: a manifest there could not be written after it, or would replace a
    // directory, a FIFO or a device.
    if (!is_representable_path(path) || !replaceable_by_file(path)) {
        front.show_message(format_text("Could not write manifest[path:%s]", path.c_str()));
        return std::nullopt;
    }
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch)
        return RunManifest(program, path, QDateTime::currentSecsSinceEpoch());
    const std::optional<int64_t> seconds = source_date_epoch(epoch);
    if (!seconds) {
        front.show_message(format_text("SOURCE_DATE_EPOCH is not a time in seconds[value:%s]", epoch));
        return std::nullopt;
    }
    return RunManifest(program, path, *seconds);
}

bool RunManifest::write(FrontEnd& front, IoPolicy& io) const
{
    const std::optional<RunFacts> facts = gather_run_facts(m_record);
    if (!facts
        || !commit_manifest(m_record.manifest_path(), manifest_document(*facts, m_program, m_time).toStdString(), io)) {
        front.show_message(format_text("Could not write manifest[path:%s]", m_record.manifest_path().c_str()));
        return false;
    }
    return true;
}

} // namespace kestrane
