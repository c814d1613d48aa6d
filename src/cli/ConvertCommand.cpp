#include "cli/ConvertCommand.h"

#include <filesystem>
#include <map>
#include <string>

#include "app/MainForm.h"
#include "cli/ConsoleUi.h"
#include "core/Utf.h"
#include "platform/Paths.h"

namespace tessaly::cli {

const char* const kConvertUsage =
    "usage: tessaly-cli convert WORKBOOK -o OUT.xml [options]\n"
    "  Imports the sales list WORKBOOK (.xlsx or .xls; first sheet, columns A to M) as the\n"
    "  window's import does and writes the XML invoice file OUT.xml as its export does.\n"
    "  Every message the window would show goes to standard output (UTF-8), in order, each\n"
    "  followed by a line \"---\".\n"
    "options:\n"
    "  -o, --output OUT.xml       the invoice file to write (replaced when it exists)\n"
    "  --tax-exclusive            the amounts exclude tax (default: they include it)\n"
    "  --limit-index N            the invoice limit without tax: 0 一千, 1 一万, 2 十万 (default),\n"
    "                             3 百万, 4 千万\n"
    "  --buyer-name S             buyer name (Gfmc)\n"
    "  --buyer-tax-id S           buyer taxpayer number (Gfsh)\n"
    "  --buyer-address-phone S    buyer address and telephone (Gfdzdh)\n"
    "  --buyer-bank-account S     buyer bank and account (Gfyhzh)\n"
    "  --reviewer S               reviewer (Fhr)\n"
    "  --payee S                  payee (Skr)\n"
    "  --code-version S           product-code version (Spbmbbh, default 13)\n"
    "  --help                     this text\n"
    "exit status: 0 the invoice file was written; 1 the export refused or failed (nothing was\n"
    "  written); 2 the workbook could not be read (the reader's error on standard error);\n"
    "  64 usage error.\n";

namespace {

constexpr int kWritten = 0;
constexpr int kNotWritten = 1;
constexpr int kNotRead = 2;
constexpr int kUsage = 64;

struct Options {
    std::string workbook;
    std::string output;
    bool taxExclusive = false;
    int limitIndex = kDefaultKpxeIndex;
    std::map<std::string, std::string> fields;   // option name -> text
    bool help = false;
};

const char* const kFieldOptions[] = {"--buyer-name", "--buyer-tax-id", "--buyer-address-phone", "--buyer-bank-account",
                                     "--reviewer",   "--payee",        "--code-version"};

// Parses argv[1..]; an empty result means success, otherwise it is the complaint.
std::string Parse(int argc, char** argv, Options& options) {
    bool outputSeen = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                arg.resize(equals);
                hasValue = true;
            }
        }
        const auto takeValue = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "-o" || arg == "--output") {
            if (!takeValue()) return arg + " needs a file name";
            options.output = value;
            outputSeen = true;
        } else if (arg == "--tax-exclusive") {
            if (hasValue) return "--tax-exclusive takes no value";
            options.taxExclusive = true;
        } else if (arg == "--limit-index") {
            if (!takeValue()) return "--limit-index needs a number";
            if (value.size() != 1 || value[0] < '0' || value[0] > '4') return "--limit-index must be 0, 1, 2, 3 or 4";
            options.limitIndex = value[0] - '0';
        } else if (arg.rfind("-", 0) == 0 && arg != "-") {
            bool known = false;
            for (const char* name : kFieldOptions) known = known || arg == name;
            if (!known) return "unknown option " + arg;
            if (!takeValue()) return arg + " needs a text";
            if (!IsValidUtf8(value)) return arg + " is not UTF-8 text";
            options.fields[arg] = value;
        } else if (options.workbook.empty()) {
            options.workbook = arg;
        } else {
            return "one workbook only: " + arg;
        }
    }
    if (options.help) return {};
    if (options.workbook.empty()) return "no workbook given";
    if (!outputSeen || options.output.empty()) return "no output file given (-o OUT.xml)";
    return {};
}

// The full path, as a file dialog returns it.
std::string FullPath(const std::string& path) {
    std::error_code ignored;
    const std::filesystem::path full = std::filesystem::absolute(path, ignored);
    return full.empty() ? path : full.lexically_normal().string();
}

} // namespace

int RunConvert(int argc, char** argv, std::ostream& out, std::ostream& err, const TXLSReaders& readers) {
    Options options;
    const std::string complaint = Parse(argc, argv, options);
    if (options.help) {
        out << kConvertUsage;
        return kWritten;
    }
    if (!complaint.empty()) {
        err << "tessaly-cli convert: " << complaint << "\n" << kConvertUsage;
        return kUsage;
    }

    TConsoleUi ui(out, FullPath(options.workbook), FullPath(options.output), !options.taxExclusive);
    TmainForm form(ui, platform::ExecutableFile(), readers);
    form.SettingsFile.clear();   // the command line says everything; nothing is remembered
    form.FormCreate();
    form.Combo_KPXE = options.limitIndex;
    const std::pair<const char*, std::string TmainForm::*> fields[] = {
        {"--buyer-name", &TmainForm::Edit_GFMC},   {"--buyer-tax-id", &TmainForm::Edit_GFSH},
        {"--buyer-address-phone", &TmainForm::Edit_GFDZDH}, {"--buyer-bank-account", &TmainForm::Edit_YHZH},
        {"--reviewer", &TmainForm::Edit_FHR},      {"--payee", &TmainForm::Edit_SKR},
        {"--code-version", &TmainForm::Edit_SPBMBBH},
    };
    for (const auto& [name, field] : fields) {
        const auto it = options.fields.find(name);
        if (it != options.fields.end()) form.*field = it->second;
    }

    try {
        form.Btn_importClick();
    } catch (const std::exception& error) {
        err << error.what() << "\n";
        return kNotRead;
    }
    form.Run(&TmainForm::Btn_OutputClick);
    return form.LastExportWritten ? kWritten : kNotWritten;
}

} // namespace tessaly::cli
