// The scan's admission rules and order, without a form: each folder's admitted packages and the
// messages that tell what was left out, in the order they arose.
#include "pack/package_scan.h"

#include "support/package_scan_files.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>

using namespace kestrane;
using namespace kestrane::test;

namespace {

using Texts = std::vector<std::string>;

struct ScanCase {
    const char* rule;
    std::function<void(const TempDir&)> make;
    Texts admitted;                                // names, in order
    std::function<Texts(const TempDir&)> messages; // in the order they arose
};

Texts admitted_names(const PackageSources& sources, const TempDir& dir)
{
    Texts names;
    for (const HeaderSummary& package : sources.packages.value_or(std::vector<HeaderSummary>{}))
        names.push_back(package.path.substr(dir.path().size() + 1));
    return names;
}

} // namespace

TEST(FindPackageSources, AdmissionRulesAndOrder)
{
    const ScanCase cases[] = {
        {"first of each type wins",
         [](const TempDir& d) {
             write_package(d, "a.enc", {"FRM0", "", "1.5.2"});
             write_package(d, "b.enc", {"FRM0", "", "9.9"});
             write_package(d, "c.enc", {"BOT0", "", "0.7"});
         },
         {"a.enc", "c.enc"},
         [](const TempDir& d) { return Texts{duplicate(d.file("b.enc"), d.file("a.enc"), "FRM0")}; }},
        {"dome packages repeat only with another model",
         [](const TempDir& d) {
             write_package(d, "d1.enc", {"DOM0", "7720", "1"});
             write_package(d, "d2.enc", {"DOM0", "7760", "1"});
             write_package(d, "d3.enc", {"DOM0", "7720", "2"});
         },
         {"d1.enc", "d2.enc"},
         [](const TempDir& d) { return Texts{duplicate(d.file("d3.enc"), d.file("d1.enc"), "DOM0")}; }},
        {"one company, and no company key file",
         [](const TempDir& d) {
             write_package(d, "a.enc", {"DOM0", "7720", "1"});
             write_package(d, "b.enc", {"FRM0", "", "1", "OTHER"});
             write_package(d, "k.enc", {"VID0", "", "", "THIRD"});
         },
         {"a.enc"},
         [](const TempDir& d) {
             return Texts{company_mismatch(d.file("b.enc"), "OTHER", d.file("a.enc"), "ACME"),
                          key_file_refused(d.file("k.enc")),
                          company_mismatch(d.file("k.enc"), "THIRD", d.file("a.enc"), "ACME")};
         }},
        {"ENCR only: nothing admitted",
         [](const TempDir& d) {
             write_package(d, "a.enc", {"FRM0", "", "1", "ACME", "ENC1"});
             write_package(d, "b.enc", {"BOT0", "", "1", "OTHER", "ENC1"});
         },
         {},
         [](const TempDir&) { return Texts{"Nothing target enc file"}; }},
        {"only names ending in .enc, read whole",
         [](const TempDir& d) {
             write_package(d, ".enc", {"FRM0", "", "1"});
             write_package(d, "IMAGE.ENC", {"BOT0", "", "1", "OTHER"});
             write_package(d, "e.enc.bak", {"BOT0", "", "1", "OTHER"});
             write_package(d, "short.enc", {"VID0", "", "", "OTHER"}, 63);
             write_package(d, "t.enc", {"BOT0", "", "1"}, 64);
             QDir(QString::fromStdString(d.path())).mkdir("u.enc");
         },
         {".enc"},
         [](const TempDir& d) {
             return Texts{damaged(d.file("t.enc")), company_mismatch("", "", d.file(".enc"), "ACME")};
         }},
        {"the size must fit the body length",
         [](const TempDir& d) {
             write_package(d, "a-fits.enc", {"FRM0", "", "1"}, kFraming + 100, 100);
             write_package(d, "b-cut.enc", {"BOT0", "", "1"}, kFraming + 99, 100);
             write_package(d, "c-appended.enc", {"WEB0", "", "1"}, kFraming + 101, 100);
             write_package(d, "d-huge-length.enc", {"OCX0", "", "1"}, kFraming + 100, 0xFFFFFFFF);
         },
         {"a-fits.enc"},
         [](const TempDir& d) {
             return Texts{damaged(d.file("b-cut.enc")), damaged(d.file("c-appended.enc")),
                          damaged(d.file("d-huge-length.enc"))};
         }},
        {"names in order without regard to case",
         [](const TempDir& d) {
             write_package(d, "B.enc", {"FRM0", "", "2.0"});
             write_package(d, "a.enc", {"FRM0", "", "1.0"});
             write_package(d, "c.enc", {"BOT0", "", "1.0"});
         },
         {"a.enc", "c.enc"},
         [](const TempDir& d) { return Texts{duplicate(d.file("B.enc"), d.file("a.enc"), "FRM0")}; }},
    };
    for (const ScanCase& c : cases) {
        SCOPED_TRACE(c.rule);
        const TempDir dir;
        c.make(dir);
        const PackageSources sources = find_package_sources(dir.path());
        ASSERT_TRUE(sources.packages.has_value());
        EXPECT_EQ(admitted_names(sources, dir), c.admitted);
        EXPECT_EQ(sources.messages, c.messages(dir));
    }
}

TEST(FindPackageSources, PathThatIsNoDirectoryHasNoPackagesAtAll)
{
    const TempDir dir;
    write_package(dir, "a.enc", {"FRM0", "", "1.5.2"});
    for (const std::string& path : {dir.file("a.enc"), dir.file("missing")}) {
        const PackageSources sources = find_package_sources(path);
        EXPECT_FALSE(sources.packages.has_value()) << path;
        EXPECT_EQ(sources.messages, Texts{"Path[" + path + "] is invalid"});
    }
}
