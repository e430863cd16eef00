#include "e2e/e2e_support.h"

#include <QDir>
#include <QFile>

#include <cstdlib>
#include <sys/stat.h>

using namespace kestrane::test;

namespace {

using Lines = std::vector<std::string>;

// The runs are reproducible builds: SOURCE_DATE_EPOCH gives the manifest's time.
constexpr const char* kEpoch = "1700000000";

class Manifest : public CommandLineProgramTest {
protected:
    Manifest() { setenv("SOURCE_DATE_EPOCH", kEpoch, 1); }
    ~Manifest() override { unsetenv("SOURCE_DATE_EPOCH"); }

    std::string at(const std::string& name) const { return work().file(name); }
    static bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

    // A web folder, a cabinet and the key file; pk/a.enc is an encrypted package of the cabinet.
    std::string make_inputs() const
    {
        const std::string key = make_key_file("acme.wrp", "Acme", "0A1B2C3D4E5F");
        QDir().mkpath(QString::fromStdString(at("web/img")));
        QDir().mkpath(QString::fromStdString(at("pk")));
        write_text(at("web/index.html"), "<html>camera</html>");
        write_bytes(at("web/img/logo.png"), pattern_bytes(3000, 4));
        write_bytes(at("tool.cab"), pattern_bytes(70000, 3));
        EXPECT_EQ(run({"-wrapping", "ocx", "-version", "2.0", "-dest", "t.wrp", "tool.cab"}).exit_code, 0);
        EXPECT_EQ(run({"-key", key, "-dest", "pk/a.enc", "t.wrp"}).exit_code, 0);
        return key;
    }

    // What the oracle finds wrong with the manifest: "" when it agrees with the files it lists.
    std::string disagreement(const std::string& manifest, const Lines& listed) const
    {
        Lines arguments = {KESTRANE_MANIFEST_ORACLE, at(manifest), program(), KESTRANE_DEVELOPMENT_KEY_FILE, kEpoch};
        arguments.insert(arguments.end(), listed.begin(), listed.end());
        const ProcessResult result = run_process("python3", arguments);
        return result.standard_output + result.standard_error;
    }
};

TEST_P(Manifest, ListsEveryInputAndOutputOfTheRun)
{
    const std::string key = make_inputs();
    const std::string other = make_key_file("other.wrp", "Other", "0A1B2C3D4E60");
    struct Case {
        Lines arguments;
        std::string manifest;
        Lines listed; // input:ROLE:PATH and output:PATH, in the manifest's order
    };
    const Case runs[] = {
        {{"-wrapping", "raw", "-version", "2.0", "-key", key, "-manifest", "wrap.json", "tool.cab"},
         "wrap.json",
         {"input:source:" + at("tool.cab"), "input:key_file:" + key, "output:" + at("tool.cab.wrp"),
          "output:" + at("tool.cab.wrp-Acme.enc")}},
        {{"-wrapping", "raw", "-version", "2.0", "-key", key, "-key", other, "-manifest", "two.json", "tool.cab"},
         "two.json",
         {"input:source:" + at("tool.cab"), "input:key_file:" + key, "input:key_file:" + other,
          "output:" + at("tool.cab.wrp"), "output:" + at("tool.cab.wrp-Acme.enc"),
          "output:" + at("tool.cab.wrp-Other.enc")}},
        {{"-wrapping", "webpage", "-version", "1.5.2", "-manifest", "web.json", "web"},
         "web.json",
         {"input:source:" + at("web"), "output:" + at("web.wrp")}},
        {{"-key", "acme.wrp", "-dest", "pk/web.enc", "-manifest", "key.json", "web.wrp"},
         "key.json",
         {"input:source:" + at("web.wrp"), "input:key_file:" + key, "output:" + at("pk/web.enc")}},
        {{"-pack", "pk", "-version", "3.0", "-dest", "p.wrp", "-key", key, "-manifest", "pack.json"},
         "pack.json",
         {"input:package:" + at("pk/a.enc"), "input:package:" + at("pk/web.enc"), "input:key_file:" + key,
          "output:" + at("p.wrp"), "output:" + at("p.wrp-Acme.pkg")}},
    };
    for (const Case& c : runs) {
        const ProcessResult result = run(c.arguments);
        ASSERT_EQ(result.exit_code, 0) << result.standard_output;
        EXPECT_EQ(disagreement(c.manifest, c.listed), "") << c.manifest;
    }
}

// A run that fails writes no manifest and leaves an existing one as it was; a manifest that would
// be one of the run's inputs or outputs is refused before anything is written.
TEST_P(Manifest, NoneForARunThatFailsOrIsRefused)
{
    const std::string key = make_inputs();
    write_text(at("old.json"), "old");
    struct Case {
        Lines arguments;
        std::string manifest;
        std::string message; // the line that says why
        std::string epoch = kEpoch;
    };
    const Case cases[] = {
        {{"-key", key, "-manifest", "old.json", "absent.wrp"}, "old.json", "Encrypt file failed with error[-1]"},
        {{"-key", key, "-manifest", "new.json", "absent.wrp"}, "new.json", "Encrypt file failed with error[-1]"},
        {{"-wrapping", "raw", "-version", "2", "-dest", "o.wrp", "-manifest", "new.json", "tool.cab"},
         "new.json",
         "SOURCE_DATE_EPOCH is not a time in seconds[value:soon]",
         "soon"},
        {{"-wrapping", "raw", "-version", "2", "-dest", "o.wrp", "-manifest", "tool.cab", "tool.cab"}, "tool.cab", ""},
        {{"-wrapping", "raw", "-version", "2", "-dest", "o.wrp", "-key", key, "-manifest", key, "tool.cab"}, key, ""},
        {{"-wrapping", "raw", "-version", "2", "-dest", "o.wrp", "-manifest", "o.wrp", "tool.cab"}, "o.wrp", ""},
        {{"-key", key, "-dest", "o.enc", "-manifest", "o.enc", "t.wrp"}, "o.enc", ""},
        {{"-pack", "pk", "-version", "3", "-dest", "o.wrp", "-manifest", "pk/a.enc"}, "pk/a.enc", ""},
        {{"-wrapping", "webpage", "-version", "1", "-dest", "o.wrp", "-manifest", "web/m.json", "web"},
         "web/m.json",
         ""},
    };
    for (const Case& c : cases) {
        const std::string manifest = c.manifest.starts_with('/') ? c.manifest : at(c.manifest);
        const Bytes before = exists(manifest) ? read_bytes(manifest) : Bytes();
        setenv("SOURCE_DATE_EPOCH", c.epoch.c_str(), 1);
        const ProcessResult result = run(c.arguments);
        const Lines lines = lines_of(result.standard_output);
        const std::string message =
            c.message.empty() ? "Output would overwrite an input[path:" + manifest + "]" : c.message;
        EXPECT_EQ(result.exit_code, 1) << manifest;
        EXPECT_NE(std::find(lines.begin(), lines.end(), message), lines.end()) << result.standard_output;
        EXPECT_EQ(exists(manifest) ? read_bytes(manifest) : Bytes(), before) << manifest;
        EXPECT_FALSE(exists(at("o.wrp")) || exists(at("o.enc")) || exists(at("new.json"))) << manifest;
    }
    // Nor does it replace what is not a regular file.
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    const ProcessResult fifo =
        run({"-wrapping", "raw", "-version", "2", "-dest", "o.wrp", "-manifest", "fifo", "tool.cab"});
    EXPECT_EQ(fifo.exit_code, 1);
    EXPECT_EQ(lines_of(fifo.standard_output), Lines{"Could not write manifest[path:" + at("fifo") + "]"});
    struct stat info {};
    EXPECT_TRUE(stat(at("fifo").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_FALSE(exists(at("o.wrp")));
}

KESTRANE_FOR_EACH_COMMAND_LINE_PROGRAM(Manifest);

} // namespace
