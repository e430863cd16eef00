#include "cli/command_line.h"

#include "cli/verify_report.h"
#include "ops/build_identity.h"

#include <initializer_list>

namespace kestrane {
namespace {

OptionValue option_value(const ValueParam& param)
{
    return {param.present(), param.value()};
}

int count_given(std::initializer_list<bool> flags)
{
    int count = 0;
    for (const bool flag : flags)
        count += flag ? 1 : 0;
    return count;
}

bool is_lone_version_option(int argc, const char* const* argv, const ParamParser& parser)
{
    if (argc != 2)
        return false;
    std::string option = argv[1];
    return parser.strip_option_prefix(option) && option == "version";
}

std::string replaced(std::string text, std::string_view placeholder, std::string_view replacement)
{
    size_t at = 0;
    while ((at = text.find(placeholder, at)) != std::string::npos) {
        text.replace(at, placeholder.size(), replacement);
        at += replacement.size();
    }
    return text;
}

struct Selection {
    Operation operation;
    const char* problem = nullptr; // why the start is a usage error, for Conflict
};

Selection conflict(const char* problem)
{
    return {Operation::Conflict, problem};
}

Selection verify_selection(const CommandLine& c, bool has_file)
{
    if (!c.private_key.given)
        return conflict("-verify needs -private SEALING_KEY.pem");
    if (c.passin.given && !is_passin_source(c.passin.value))
        return conflict("-passin takes env:VAR or file:PATH; a passphrase in an argument is seen by every user");
    return c.version.given || has_file ? conflict("-verify takes no -version and no other file argument")
                                       : Selection{Operation::Verify};
}

// -genkey needs a company and a destination: a command line names what is missing, where the
// dialog's words ("Input brand", "Select target path") would not say which option it is.
Selection generate_key_selection(const CommandLine& c)
{
    if (c.key.given || c.key_folder.given || c.version.given || c.dest.given)
        return conflict("-genkey takes no -key, -keys, -version or -dest");
    if (c.company.value.empty())
        return conflict("-genkey needs -company NAME");
    if (c.file_argument.empty())
        return conflict("-genkey needs the key file to write, DEST");
    return {Operation::GenerateKey};
}

// The operation the options ask for, before the checks that apply to every one.
Selection requested_operation(const CommandLine& c)
{
    const int operations = count_given({c.wrapping.given, c.info.given, c.genkey.given, c.pack.given, c.verify.given});
    if (operations > 1)
        return conflict("one operation a run: -wrapping, -info, -genkey, -pack or -verify");
    const bool has_file = !c.file_argument.empty();
    // Options that only mean something to some operations.
    if ((c.company.given || c.force) && !c.genkey.given)
        return conflict("-company and -force belong to -genkey");
    if (c.manifest.given && (c.info.given || c.genkey.given || c.verify.given || !(c.wrapping.given || c.pack.given || c.key.given || c.key_folder.given)))
        return conflict("-manifest belongs to -wrapping, -key and -pack");
    if (c.manifest.given && c.manifest.value.empty())
        return conflict("-manifest needs a file");
    if (c.json && !c.info.given && !c.verify.given)
        return conflict("-json belongs to -info and -verify");
    if ((c.private_key.given || c.passin.given) && !c.verify.given)
        return conflict("-private and -passin belong to -verify");
    if (c.verify.given)
        return verify_selection(c, has_file);
    if ((c.key_folder.given || c.keys.size() > 1) && (c.info.given || c.pack.given || c.verify.given))
        return conflict("-info, -pack and -verify take one -key and no -keys");
    if (c.info.given)
        return c.version.given || c.dest.given || has_file
            ? conflict("-info takes no -version, no -dest and no other file argument")
            : Selection{Operation::Info};
    if (c.genkey.given)
        return generate_key_selection(c);
    if (c.pack.given)
        return has_file ? conflict("-pack takes no file argument") : Selection{Operation::Pack};
    if (c.wrapping.given)
        return {Operation::Wrap};
    if (c.key.given || c.key_folder.given)
        return {Operation::Encrypt};
    return c.dest.given ? conflict("-dest needs an operation") : Selection{Operation::Dialogs};
}

Selection selection(const CommandLine& c)
{
    if (c.help)
        return {Operation::Help};
    if (c.version_request)
        return {Operation::Version};
    const Selection selected = requested_operation(c);
    // A second file argument would silently win over the first.
    if (selected.operation != Operation::Dialogs && c.file_arguments > 1)
        return conflict("one file argument at most");
    return selected;
}

} // namespace

std::optional<CommandLine> parse_command_line(int argc, const char* const* argv, OptionSyntax syntax,
                                              std::string* problem)
{
    PositionalParam file_argument;
    ParamErrorHandler error_handler;
    ValueParam key, keys, wrapping, version, info, genkey, company, pack, dest, manifest, verify, private_key, passin;
    FlagParam help, json, batch, force;

    ParamParser parser(syntax);
    parser.set_double_dash_conventions(true);
    parser.set_positional(&file_argument);
    parser.set_error_handler(&error_handler);
    parser.add_param("key", &key);
    parser.add_param("keys", &keys);
    parser.add_param("wrapping", &wrapping);
    parser.add_param("version", &version);
    parser.add_param("info", &info);
    parser.add_param("genkey", &genkey);
    parser.add_param("company", &company);
    parser.add_param("pack", &pack);
    parser.add_param("dest", &dest);
    parser.add_param("manifest", &manifest);
    parser.add_param("verify", &verify);
    parser.add_param("private", &private_key);
    parser.add_param("passin", &passin);
    parser.add_flag("help", &help);
    parser.add_flag("h", &help);
    parser.add_flag("json", &json);
    parser.add_flag("batch", &batch);
    parser.add_flag("force", &force);
    if (is_lone_version_option(argc, argv, parser)) {
        CommandLine version_request;
        version_request.version_request = true;
        return version_request;
    }
    if (!parser.parse(argc, argv)) {
        if (problem)
            *problem = error_handler.problem();
        return std::nullopt;
    }

    CommandLine command_line;
    command_line.file_argument = file_argument.value();
    command_line.file_arguments = file_argument.count();
    command_line.key = option_value(key);
    command_line.keys = key.values();
    command_line.key_folder = option_value(keys);
    command_line.wrapping = option_value(wrapping);
    command_line.version = option_value(version);
    command_line.info = option_value(info);
    command_line.genkey = option_value(genkey);
    command_line.company = option_value(company);
    command_line.pack = option_value(pack);
    command_line.dest = option_value(dest);
    command_line.manifest = option_value(manifest);
    command_line.verify = option_value(verify);
    command_line.private_key = option_value(private_key);
    command_line.passin = option_value(passin);
    command_line.json = json.present();
    command_line.batch = batch.present();
    command_line.force = force.present();
    command_line.help = help.present();
    return command_line;
}

Operation select_operation(const CommandLine& c)
{
    return selection(c).operation;
}

std::string usage_problem(const CommandLine& c)
{
    const char* problem = selection(c).problem;
    return problem ? problem : "";
}

const char* program_name(ProgramKind program)
{
    return program == ProgramKind::WithDialogs ? "kestrane" : "kestrane-cli";
}

std::string usage_text(ProgramKind program)
{
    const char* dialogs = program == ProgramKind::WithDialogs
        ? "Without an operation the dialogs open (they need a display).\n"
        : "The command-line program without the dialogs: every start needs an operation.\n";
    const std::string text = std::string("usage: PROGRAM [OPTIONS] [FILE]\n") + dialogs
        + "\n"
          "Operations, one per run:\n"
          "  -wrapping TYPE [-version V] [-key KEYFILE] [-dest WRAPPED] FILE\n"
          "        wrap FILE (a directory for webpage and addon) into FILE.wrp, or into WRAPPED;\n"
          "        with -key, encrypt it for KEYFILE's company into FILE.wrp-COMPANY.enc (or\n"
          "        WRAPPED-COMPANY.enc). The version of kernel and bootloader images comes from the\n"
          "        image; other types ask for it when -version is missing. TYPE: kernel, addon,\n"
          "        webpage, brand, ocx, bootloader, dome7720, dome7760, emergency, raw.\n"
          "        -key may be given more than once, and -keys FOLDER takes every company key file\n"
          "        in FOLDER: the source is wrapped once and one package per company follows,\n"
          "        written side by side, all or none.\n"
          "        e.g. PROGRAM -wrapping kernel -key /keys/acme.wrp /fw/image.krn\n"
          "             PROGRAM -wrapping webpage -version 1.5.2 /fw/web\n"
          "             PROGRAM -wrapping raw -version 2.0 -dest /out/tool.wrp /src/tool.bin\n"
          "  -key KEYFILE [-dest PACKAGE] FILE\n"
          "        encrypt the wrapped file FILE for KEYFILE's company into FILE-COMPANY.enc, or\n"
          "        into PACKAGE\n"
          "        e.g. PROGRAM -key /keys/acme.wrp /fw/image.krn.wrp\n"
          "  -key KEYFILE -key KEYFILE2 ... | -keys KEYFOLDER [-dest FOLDER] FILE\n"
          "        encrypt FILE, read once, for several companies (every company key file in\n"
          "        KEYFOLDER, others named and skipped), each into FILE-COMPANY.enc, or into\n"
          "        FOLDER/NAME-COMPANY.enc (FOLDER must exist). All or none: on a failure no\n"
          "        package is written. Two key files of one company: exit status 2.\n"
          "        e.g. PROGRAM -keys /keys/customers -dest /release /fw/image.krn.wrp\n"
          "  -info FILE [-key KEYFILE] [-json]\n"
          "        print FILE's header (Type, Attribute, Model, Version, CompanyName) and check it:\n"
          "        the MD5 trailer of a plain file; the body length of an encrypted package and,\n"
          "        with -key, its tag. A package file lists the packages it holds, a company key\n"
          "        file names its company. With -json: one JSON object instead. Exit status 1 when\n"
          "        a check fails or FILE is no tagged file.\n"
          "        e.g. PROGRAM -info /fw/image.krn.wrp-Acme.enc -key /keys/acme.wrp\n"
          "  -genkey DIGITS|random -company NAME DEST [-force]\n"
          "        write the company key file DEST for company NAME (at most 16 bytes of UTF-8,\n"
          "        no control characters, no / or \\) with the key 0000 followed by 12 hexadecimal\n"
          "        DIGITS; \"random\" draws them and prints them on a terminal (elsewhere they are\n"
          "        in DEST only). An existing DEST is replaced only with -force.\n"
          "        e.g. PROGRAM -genkey 0A1B2C3D4E5F -company Acme /keys/acme.wrp\n"
          "             PROGRAM -genkey random -company Acme /keys/acme.wrp\n"
          "  -pack DIR [-version V] [-dest FILE] [-key KEYFILE]\n"
          "        pack the encrypted packages of DIR into a package file: version from -version or\n"
          "        the kernel package, destination from -dest or DIR-KVERSION.wrp beside DIR; with\n"
          "        -key, encrypt the package file for that company into DEST-COMPANY.pkg.\n"
          "        e.g. PROGRAM -pack /release/acme -version 1.5.2 -key /keys/acme.wrp\n"
          "  -verify PACKAGE -private SEALING_KEY.pem [-passin env:VAR|file:PATH] [-key KEYFILE]\n"
          "          [-dest WRAPPED] [-json]\n"
          "        open PACKAGE as the device would, with the private half of the sealing key\n"
          "        (a PEM file only its owner can read; an encrypted one asks for its passphrase on\n"
          "        a terminal or takes it from -passin): every sealed block, the key block, the\n"
          "        tag, with -key the company, and the restored wrapped file's length and MD5\n"
          "        trailer. A package file is verified package by package. -dest writes the\n"
          "        restored wrapped file when every check passed. Exit status 1 when one fails.\n"
          "        e.g. PROGRAM -verify /fw/image.krn.wrp-Acme.enc -private /secure/sealing.pem\n"
          "  -help, -h\n"
          "        print this text\n"
          "  --version\n"
          "        print the program version and the fingerprint of the sealing key it carries\n"
          "\n"
          "  -batch\n"
          "        with any operation: run as without a display even when there is one (each\n"
          "        message a line on standard output, no dialog) and ask no question: a missing\n"
          "        version fails at once.\n"
          "  -manifest FILE\n"
          "        with -wrapping, -key or -pack: once every output is in place, write FILE, a JSON\n"
          "        document of the run (program, sealing key, time, inputs and outputs with their\n"
          "        sizes and SHA-256). A run that fails writes none.\n"
          "\n"
          "Options begin with - or --; a value follows as the next argument or after a colon\n"
          "(-version:1.5.2, needed for a value that begins with -), or after = in the long form\n"
          "(--version=1.5.2). Every argument after -- is a file argument; one file argument at\n"
          "most. No output overwrites an input of its run.\n"
          "Exit status: 0 success, 1 failure, 2 a start this text does not describe.\n";
    return replaced(text, "PROGRAM", program_name(program));
}

std::string version_text(ProgramKind program)
{
    const BuildIdentity identity = build_identity();
    std::string text = std::string(program_name(program)) + " " + identity.version_text + "\n"
        + identity.fingerprint_label + " " + identity.fingerprint + "\n";
    if (identity.development_sealing_key)
        text += identity.development_key_warning + "\n";
    return text;
}

} // namespace kestrane
