#include "ui/packaging_form.h"

#include "format/little_endian.h"
#include "format/tagged_layout.h"
#include "pack/package_file.h"
#include "pack/package_scan.h"
#include "scripted_front_end.h"
#include "support/package_scan_files.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace kestrane;
using namespace kestrane::test;

namespace {

std::vector<std::string> entry_paths(const PackagingForm& form)
{
    std::vector<std::string> paths;
    for (const auto& entry : form.entries)
        paths.push_back(entry.path);
    return paths;
}

using Texts = std::vector<std::string>;

std::string describe(const PackagingForm& form)
{
    std::string text =
        form.path + "|" + form.dest_file + "|" + form.company_name + "|" + form.status + "|" + form.version;
    for (const auto& entry : form.entries)
        for (const auto& column : package_list_row(entry))
            text += "|" + column;
    return text;
}

} // namespace

TEST(PackageScan, FirstOfEachTypeWinsAndFillsTheForm)
{
    TempDir dir;
    write_package(dir, "a.enc", {"FRM0", "", "1.5.2"});
    write_package(dir, "b.enc", {"FRM0", "", "9.9"});
    write_package(dir, "c.enc", {"BOT0", "", "0.7"});
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, dir.path());

    EXPECT_EQ(front.messages(), Texts{duplicate(dir.file("b.enc"), dir.file("a.enc"), "FRM0")});
    EXPECT_EQ(entry_paths(form), (Texts{dir.file("a.enc"), dir.file("c.enc")}));
    EXPECT_EQ(package_list_row(form.entries[0]),
              (PackageListRow{"a.enc", "FRM0", "ENCR", "", "1.5.2", "ACME"}));
    EXPECT_EQ(package_list_headings(),
              (PackageListRow{"File", "Type", "Attribute", "Model", "Version", "CompanyName"}));
    EXPECT_EQ(form.path, dir.path());
    EXPECT_EQ(form.company_name, "ACME");
    EXPECT_EQ(form.status, "Success");
    EXPECT_EQ(form.dest_file, dir.path() + "-K.wrp");

    ASSERT_EQ(pick_package_version(form), 1);
    EXPECT_EQ(form.version, "1.5.2");
    EXPECT_EQ(update_package_destination(form), 1);
    EXPECT_EQ(form.dest_file, dir.path() + "-K1.5.2.wrp");

    // The listed names pack into the package, whole and in row order.
    std::vector<std::string> names;
    for (const auto& entry : form.entries)
        names.push_back(package_list_row(entry)[0]);
    ASSERT_EQ(pack_files(form.version, form.path, names, dir.file("out.wrp")), 1);
    const Bytes package = read_bytes(dir.file("out.wrp"));
    EXPECT_EQ(load_u32_le(package.data() + 140), 2u);
    EXPECT_EQ(Bytes(package.begin() + 148, package.begin() + 448), read_bytes(dir.file("a.enc")));
    EXPECT_EQ(Bytes(package.begin() + 452, package.begin() + 752), read_bytes(dir.file("c.enc")));
}

TEST(PackageScan, DomePackagesRepeatOnlyWithAnotherModel)
{
    TempDir dir;
    write_package(dir, "d1.enc", {"DOM0", "7720", "1"});
    write_package(dir, "d2.enc", {"DOM0", "7760", "1"});
    write_package(dir, "d3.enc", {"DOM0", "7720", "2"});
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, dir.path());
    EXPECT_EQ(entry_paths(form), (Texts{dir.file("d1.enc"), dir.file("d2.enc")}));
    EXPECT_EQ(front.messages(), Texts{duplicate(dir.file("d3.enc"), dir.file("d1.enc"), "DOM0")});
    EXPECT_EQ(pick_package_version(form), -1);
}

TEST(PackageScan, CompanyMismatchAndCompanyKeyFiles)
{
    TempDir dir;
    write_package(dir, "a.enc", {"DOM0", "7720", "1"});
    write_package(dir, "b.enc", {"FRM0", "", "1", "OTHER"});
    write_package(dir, "k.enc", {"VID0", "", "", "THIRD"});
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, dir.path());
    EXPECT_EQ(entry_paths(form), Texts{dir.file("a.enc")});
    // The company key file is refused and then, like any other file, compared with the admitted ones.
    EXPECT_EQ(front.messages(),
              (Texts{company_mismatch(dir.file("b.enc"), "OTHER", dir.file("a.enc"), "ACME"),
                     key_file_refused(dir.file("k.enc")),
                     company_mismatch(dir.file("k.enc"), "THIRD", dir.file("a.enc"), "ACME")}));
}

TEST(PackageScan, NothingAdmittedKeepsCompanyAndDestination)
{
    TempDir dir;
    write_package(dir, "a.enc", {"FRM0", "", "1", "ACME", "ENC1"});
    write_package(dir, "b.enc", {"BOT0", "", "1", "OTHER", "ENC1"});
    PackagingForm form{"/old", "/old-K1.wrp", "KEPT", "Success", "",
                       {HeaderSummary{"/old/x.enc", "FRM0", "ENCR", "", "1", "KEPT"}}};
    ScriptedFrontEnd front;
    scan_package_sources(front, form, dir.path());
    EXPECT_EQ(front.messages(), Texts{"Nothing target enc file"});
    EXPECT_TRUE(form.entries.empty());
    EXPECT_EQ(form.status, "Failed");
    EXPECT_EQ(form.path, dir.path());
    EXPECT_EQ(form.company_name, "KEPT");
    EXPECT_EQ(form.dest_file, "/old-K1.wrp");

    // A lone company key file says why it was refused.
    TempDir keys;
    write_package(keys, "k.enc", {"VID0", "", ""});
    front.clear();
    scan_package_sources(front, form, keys.path());
    EXPECT_EQ(front.messages(), (Texts{key_file_refused(keys.file("k.enc")), "Nothing target enc file"}));
}

TEST(PackageScan, WhichNamesAreConsidered)
{
    TempDir dir;
    write_package(dir, ".enc", {"FRM0", "", "1"});
    write_package(dir, "IMAGE.ENC", {"BOT0", "", "1", "OTHER"});
    write_package(dir, "e.enc.bak", {"BOT0", "", "1", "OTHER"});
    write_package(dir, "short.enc", {"VID0", "", "", "OTHER"}, 63); // would raise two messages if read
    write_package(dir, "t.enc", {"BOT0", "", "1"}, 64); // read, and too short for its body length
    QDir(QString::fromStdString(dir.path())).mkdir("u.enc");
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, dir.path());
    EXPECT_EQ(entry_paths(form), Texts{dir.file(".enc")});
    // A directory named like a package cannot be opened: its strings stay empty and it is reported
    // against the first entry.
    EXPECT_EQ(front.messages(),
              (Texts{damaged(dir.file("t.enc")), company_mismatch("", "", dir.file(".enc"), "ACME")}));
}

TEST(PackageScan, PackagesWhoseSizeDoesNotFitTheirBodyLengthStayOut)
{
    TempDir dir;
    write_package(dir, "a-fits.enc", {"FRM0", "", "1"}, kFraming + 100, 100);
    write_package(dir, "b-cut.enc", {"BOT0", "", "1"}, kFraming + 99, 100);
    write_package(dir, "c-appended.enc", {"WEB0", "", "1"}, kFraming + 101, 100);
    write_package(dir, "d-huge-length.enc", {"OCX0", "", "1"}, kFraming + 100, 0xFFFFFFFF);
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, dir.path());
    EXPECT_EQ(entry_paths(form), Texts{dir.file("a-fits.enc")});
    EXPECT_EQ(front.messages(),
              (Texts{damaged(dir.file("b-cut.enc")), damaged(dir.file("c-appended.enc")),
                     damaged(dir.file("d-huge-length.enc"))}));
}

TEST(PackageScan, ListingOrderIgnoresCaseThenBytes)
{
    TempDir dir;
#ifdef _WIN32
    const Texts names = {".hidden", "_x", "A", "b", "C", "sub"}; // "C" and "c" name one file here
#else
    const Texts names = {".hidden", "_x", "A", "b", "C", "c", "sub"};
#endif
    for (const char* name : {"b", "sub", "C", "_x", "A", ".hidden", "c"})
        write_bytes(dir.file(name), {});
    EXPECT_EQ(list_directory_names(dir.path()), names);

    // Byte order would put B.enc before a.enc.
    TempDir packages;
    write_package(packages, "B.enc", {"FRM0", "", "2.0"});
    write_package(packages, "a.enc", {"FRM0", "", "1.0"});
    ScriptedFrontEnd front;
    PackagingForm form;
    scan_package_sources(front, form, packages.path());
    EXPECT_EQ(entry_paths(form), Texts{packages.file("a.enc")});
    ASSERT_EQ(pick_package_version(form), 1);
    EXPECT_EQ(form.version, "1.0");
}

TEST(PackageScan, PathThatIsNoDirectoryChangesNothing)
{
    TempDir dir;
    write_package(dir, "a.enc", {"FRM0", "", "1.5.2"});
    PackagingForm form;
    ScriptedFrontEnd setup;
    scan_package_sources(setup, form, dir.path());
    const std::string before = describe(form);
    ScriptedFrontEnd front;
    scan_package_sources(front, form, dir.file("a.enc"));
    scan_package_sources(front, form, dir.file("missing"));
    EXPECT_EQ(front.messages(),
              (Texts{"Path[" + dir.file("a.enc") + "] is invalid", "Path[" + dir.file("missing") + "] is invalid"}));
    EXPECT_EQ(describe(form), before);
}

TEST(PackageDestination, RootStandsForADriveRoot)
{
#ifdef _WIN32
    const std::string root = "C:\\", build = "C:\\data\\release\\build";
#else
    const std::string root = "/", build = "/data/release/build";
#endif
    PackagingForm form;
    form.path = root;
    form.version = "1.0";
    EXPECT_EQ(update_package_destination(form), 1);
    EXPECT_EQ(form.dest_file, root + "-K1.0.wrp");
    form.path = build;
    form.version = "1.5.2";
    update_package_destination(form);
    EXPECT_EQ(form.dest_file, build + "-K1.5.2.wrp");
}
