// The start-up probe of the installed invoicing software: the product-code version it uses is
// read from the seller's parameters file and becomes the text of Edit_SPBMBBH.
#include <string_view>

#include "app/MainForm.h"
#include "app/XmlPathValue.h"
#include "platform/FolderListing.h"
#include "platform/Paths.h"
#include "platform/Registry.h"

// The seller key the build was configured with (empty: the probe does nothing).
#ifndef TESSALY_SELLER_KEY
#define TESSALY_SELLER_KEY ""
#endif

namespace tessaly {

namespace {

// The invoicing software's uninstall entry; the 32-bit view's key is the one it normally has.
constexpr const char* kUninstallKeys[] = {
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\开票软件",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\开票软件",
};
constexpr const char* kIconValue = "DisplayIcon";
constexpr std::string_view kParametersMarker = "QYXXParams";
constexpr const char* kVersionPath = "FPXT.OUTPUT.DATA.SPBMBBH";

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The folder of the file the uninstall entry's "DisplayIcon" names; empty without an entry. The
// value is used as it stands: a path in quotes gives a folder that does not exist.
std::string InstallationFolder() {
    platform::TRegistry registry;
    registry.RootKey = platform::TRegistryRoot::LocalMachine;
    std::string icon;
    if (registry.OpenKeyReadOnly(kUninstallKeys[0]) || registry.OpenKeyReadOnly(kUninstallKeys[1]))
        icon = registry.ReadString(kIconValue);
    registry.CloseKey();
    return platform::ExtractFilePath(icon);
}

// The first subfolder named with the seller key that is a plain folder: one that also carries
// another attribute (read-only, hidden, a link, ...) is not the invoicing software's own.
std::string TaxpayerFolder(const std::string& installation, std::string_view sellerKey) {
    for (const platform::TFolderEntry& entry : platform::ListFolder(installation)) {
        if (!entry.Name.empty() && entry.Attributes == platform::faDirectory && Contains(entry.Name, sellerKey))
            return entry.Name;
    }
    return {};
}

std::string ParametersFile(const std::string& bin, std::string_view sellerKey) {
    for (const platform::TFolderEntry& entry : platform::ListFolder(bin)) {
        if (Contains(entry.Name, sellerKey) && Contains(entry.Name, kParametersMarker)) return entry.Name;
    }
    return {};
}

} // namespace

std::string TmainForm::BuiltInSellerKey() { return TESSALY_SELLER_KEY; }

void TmainForm::ProbeInvoicingSoftware() {
    if (SellerKey.empty()) return;
    const std::string installation = InstallationFolder();
    if (installation.empty()) return;
    const std::string taxpayer = TaxpayerFolder(installation, SellerKey);
    if (taxpayer.empty()) return;
    const std::string bin = installation + taxpayer + platform::kPathDelimiter + "bin" + platform::kPathDelimiter;
    const std::string parameters = ParametersFile(bin, SellerKey);
    if (parameters.empty()) return;
    const std::string version = ReadXmlPathValue(bin + parameters, kVersionPath, "", '.');
    if (version != kXmlPathError) Edit_SPBMBBH = version;
}

} // namespace tessaly
