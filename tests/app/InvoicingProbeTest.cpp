#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "ScriptedRegistry.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "app/MainForm.h"
#include "core/Utf.h"
#include "platform/CodePage.h"
#include "platform/FolderListing.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

constexpr const char* kWowKey = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\开票软件";
constexpr const char* kNativeKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\开票软件";
constexpr const char* kKey = "91440300MA5F1234XY";   // the seller key of these tests
constexpr auto kMachine = platform::TRegistryRoot::LocalMachine;

std::string Gbk(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(platform::EncodeCodePage(platform::kCodePageGbk, Utf8ToUtf16(utf8), out));
    return out;
}

// A parameters file as the invoicing software writes it: GBK, the version deep inside.
std::string ParametersXml(const std::string& spbmbbh) {
    return Gbk("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n"
               "<FPXT>\r\n"
               "  <INPUT/>\r\n"
               "  <OUTPUT>\r\n"
               "    <CODE>0000</CODE>\r\n"
               "    <MESS>成功</MESS>\r\n"
               "    <DATA>\r\n"
               "      <NSRSBH>91440300MA5F1234XY</NSRSBH>\r\n"
               "      <QYMC>深圳市某某贸易有限公司</QYMC>\r\n"
               "      <SPBMBBH>" + spbmbbh + "</SPBMBBH>\r\n"
               "    </DATA>\r\n"
               "  </OUTPUT>\r\n"
               "</FPXT>\r\n");
}

// The folder listing comes in an order each test sets: the names it lists first, in that order,
// then the others by name (the file system's own order is not predictable).
class ListingOrder {
public:
    ListingOrder() {
        previous_ = platform::SetFolderListingHandler([this](const std::string& folder) {
            auto entries = platform::SystemListFolder(folder);
            const auto& first = order_[Normal(folder)];
            auto rank = [&](const platform::TFolderEntry& e) {
                const auto at = std::find(first.begin(), first.end(), e.Name);
                return std::make_pair(at - first.begin(), e.Name);
            };
            std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
            return entries;
        });
    }
    ~ListingOrder() { platform::SetFolderListingHandler(previous_); }
    void Set(const std::string& folder, std::vector<std::string> names) { order_[Normal(folder)] = std::move(names); }

private:
    static std::string Normal(const std::string& folder) { return (fs::path(folder) / "").lexically_normal().string(); }

    std::map<std::string, std::vector<std::string>> order_;
    platform::TFolderListingHandler previous_;
};

class InvoicingProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_ = dir_.File("开票软件") + "/";
        fs::create_directory(install_);
        form_.SellerKey = kKey;
    }

    // The uninstall entry under `key`, naming a file inside `folder`.
    void Register(const char* key, const std::string& folder) {
        registry_.SetKey(kMachine, key, {{"DisplayIcon", folder + "KPKaiPiao.exe"}});
    }
    // A taxpayer folder with its bin folder and the given files in it.
    std::string Taxpayer(const std::string& name, const std::map<std::string, std::string>& files = {},
                         const std::string& installation = "") {
        const std::string folder = (installation.empty() ? install_ : installation) + name;
        fs::create_directories(folder + "/bin");
        for (const auto& [file, content] : files) test::WriteText(folder + "/bin/" + file, content);
        return folder;
    }
    std::string Probe() {
        form_.Edit_SPBMBBH = "13";
        form_.ProbeInvoicingSoftware();
        return form_.Edit_SPBMBBH;
    }

    test::TempDir dir_;
    test::ScriptedUi ui_;
    test::ScriptedRegistry registry_;
    ListingOrder order_;
    TmainForm form_{ui_, ""};
    std::string install_;
    const std::string params_ = std::string(kKey) + "QYXXParams.xml";
};

} // namespace

TEST_F(InvoicingProbeTest, ReadsTheVersionAtStartUp) {
    Register(kWowKey, install_);
    Taxpayer(std::string(kKey) + ".1", {{params_, ParametersXml("33.0")}});
    form_.FormCreate();
    EXPECT_EQ(form_.Edit_SPBMBBH, "33.0");
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(InvoicingProbeTest, WithoutSellerKeyNothingIsRead) {
    Register(kWowKey, install_);
    Taxpayer(kKey, {{params_, ParametersXml("33.0")}});
    form_.SellerKey = "";
    EXPECT_EQ(Probe(), "13");
    EXPECT_EQ(registry_.Opens(), 0);
    EXPECT_EQ(TmainForm::BuiltInSellerKey(), "");   // the build's default
}

TEST_F(InvoicingProbeTest, UninstallEntry) {
    const std::string other = dir_.File("other") + "/";
    Taxpayer(kKey, {{params_, ParametersXml("wow")}});
    Taxpayer(kKey, {{params_, ParametersXml("native")}}, other);
    fs::create_directory(dir_.File("\"quoted"));
    Taxpayer(kKey, {{params_, ParametersXml("quoted")}}, dir_.File("\"quoted") + "/");

    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::map<std::string, std::string>>> keys;
        const char* version;
    };
    const std::string icon = install_ + "KPKaiPiao.exe";
    const std::string otherIcon = other + "KPKaiPiao.exe";
    const Case cases[] = {
        {"no entry", {}, "13"},
        {"both keys: the first wins", {{kWowKey, {{"DisplayIcon", icon}}}, {kNativeKey, {{"DisplayIcon", otherIcon}}}},
         "wow"},
        {"only the second key", {{kNativeKey, {{"DisplayIcon", otherIcon}}}}, "native"},
        {"first key without the value: the second is not tried",
         {{kWowKey, {{"Publisher", "x"}}}, {kNativeKey, {{"DisplayIcon", otherIcon}}}}, "13"},
        {"the path in quotes is used as it stands", {{kWowKey, {{"DisplayIcon", "\"" + icon + "\""}}}}, "13"},
        {"a name without a folder", {{kWowKey, {{"DisplayIcon", "KPKaiPiao.exe"}}}}, "13"},
        {"the current user's hive does not count", {}, "13"},
    };
    for (const Case& c : cases) {
        test::ScriptedRegistry registry;
        for (const auto& [key, values] : c.keys) registry.SetKey(kMachine, key, values);
        registry.SetKey(platform::TRegistryRoot::CurrentUser, kWowKey, {{"DisplayIcon", icon}});
        EXPECT_EQ(Probe(), c.version) << c.what;
    }
}

TEST_F(InvoicingProbeTest, LinuxHasNoRegistry) {
    platform::SetRegistryBackend(nullptr);   // the system's registry
    Register(kWowKey, install_);
    Taxpayer(kKey, {{params_, ParametersXml("33.0")}});
    EXPECT_EQ(Probe(), "13");
}

TEST_F(InvoicingProbeTest, TheFirstPlainTaxpayerFolderListedWins) {
    Register(kWowKey, install_);
    const std::string a = std::string("A") + kKey;
    const std::string b = std::string("B") + kKey;
    Taxpayer(a, {{params_, ParametersXml("a")}});
    Taxpayer(b, {{params_, ParametersXml("b")}});
    order_.Set(install_, {a, b});
    EXPECT_EQ(Probe(), "a");
    order_.Set(install_, {b, a});
    EXPECT_EQ(Probe(), "b");

    // Listed before them, none of these qualifies.
    const std::string hidden = std::string(".") + kKey;
    const std::string readOnly = std::string("R") + kKey;
    const std::string link = std::string("L") + kKey;
    const std::string file = std::string("F") + kKey;
    const std::string otherSeller = "91440300MA5F9999ZZ";
    const std::string caseDiffers = "91440300ma5f1234xy";
    Taxpayer(hidden, {{params_, ParametersXml("hidden")}});
    Taxpayer(readOnly, {{params_, ParametersXml("read-only")}});
    fs::create_directory_symlink(install_ + a, install_ + link);
    test::WriteText(install_ + file, "");
    Taxpayer(otherSeller, {{params_, ParametersXml("other seller")}});
    Taxpayer(caseDiffers, {{params_, ParametersXml("case differs")}});
    ::chmod((install_ + readOnly).c_str(), 0555);
    order_.Set(install_, {hidden, readOnly, link, file, otherSeller, caseDiffers, b, a});
    EXPECT_EQ(Probe(), "b");

    // The chosen folder decides, even when it has no parameters file.
    fs::remove(install_ + b + "/bin/" + params_);
    EXPECT_EQ(Probe(), "13");
    fs::remove_all(install_ + b + "/bin");
    EXPECT_EQ(Probe(), "13");
    ::chmod((install_ + readOnly).c_str(), 0755);
}

TEST_F(InvoicingProbeTest, TheFirstParametersFileListedWins) {
    Register(kWowKey, install_);
    const std::string one = std::string(kKey) + "QYXXParams_1.xml";
    const std::string two = std::string("old_") + kKey + "_QYXXParams.xml";
    const std::string noKey = "QYXXParams.xml";
    const std::string noMarker = std::string(kKey) + ".xml";
    const std::string caseDiffers = std::string(kKey) + "qyxxparams.xml";
    const std::string bin = Taxpayer(kKey, {{one, ParametersXml("one")},
                                            {two, ParametersXml("two")},
                                            {noKey, ParametersXml("no key")},
                                            {noMarker, ParametersXml("no marker")},
                                            {caseDiffers, ParametersXml("case")}}) + "/bin/";
    order_.Set(bin, {noKey, noMarker, caseDiffers, one, two});
    EXPECT_EQ(Probe(), "one");
    order_.Set(bin, {noKey, noMarker, caseDiffers, two, one});
    EXPECT_EQ(Probe(), "two");

    // The first one listed is used even when it is broken: the field keeps its value.
    test::WriteText(bin + two, "<FPXT><OUTPUT>");
    EXPECT_EQ(Probe(), "13");
}

TEST_F(InvoicingProbeTest, ParametersFileContent) {
    Register(kWowKey, install_);
    const std::string bin = Taxpayer(kKey) + "/bin/";
    struct Case {
        const char* what;
        std::string content;
        const char* version;
    };
    const Case cases[] = {
        {"a number", ParametersXml("33.0"), "33.0"},
        {"text unchanged, blanks and all", ParametersXml(" 版本 33 "), " 版本 33 "},
        {"escaped text", ParametersXml("1&amp;2&#x20;"), "1&2 "},
        {"empty element", ParametersXml(""), ""},
        {"root differing in case",
         "<?xml version=\"1.0\"?><fpxt><OUTPUT><DATA><SPBMBBH>33.0</SPBMBBH></DATA></OUTPUT></fpxt>", ""},
        {"no such path", "<FPXT><OUTPUT><DATA/></OUTPUT></FPXT>", ""},
        {"element case differs", "<FPXT><OUTPUT><data><SPBMBBH>33.0</SPBMBBH></data></OUTPUT></FPXT>", ""},
        {"UTF-8 without declaration", "<FPXT><OUTPUT><DATA><SPBMBBH>三十三</SPBMBBH></DATA></OUTPUT></FPXT>", "三十三"},
        {"not well-formed", "<FPXT><OUTPUT><DATA><SPBMBBH>33.0</SPBMBBH></DATA></FPXT>", "13"},
        {"undeclared entity", "<FPXT><OUTPUT><DATA><SPBMBBH>&v;</SPBMBBH></DATA></OUTPUT></FPXT>", "13"},
        {"elements instead of text", ParametersXml("<V>33.0</V>"), "13"},
        {"empty file", "", "13"},
        {"not XML", "\x89PNG\r\n", "13"},
    };
    for (const Case& c : cases) {
        test::WriteText(bin + params_, c.content);
        EXPECT_EQ(Probe(), c.version) << c.what;
    }
}

TEST_F(InvoicingProbeTest, UnreadableParametersFileKeepsTheField) {
    Register(kWowKey, install_);
    const std::string bin = Taxpayer(kKey) + "/bin/";
    fs::create_directory(bin + params_);   // a folder of that name
    EXPECT_EQ(Probe(), "13");
    fs::remove(bin + params_);
    ASSERT_EQ(::mkfifo((bin + params_).c_str(), 0644), 0);   // nobody writes: reading would block
    EXPECT_EQ(Probe(), "13");
    fs::remove(bin + params_);
    fs::create_symlink(bin + "missing.xml", bin + params_);
    EXPECT_EQ(Probe(), "13");
}
