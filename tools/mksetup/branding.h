// What a product sets on the prebuilt programs at pack time, besides its
// payload: the product values, the version resource, the icon and the
// manifest's execution level. Each is a change to the program's resources
// (pe_resources.h).
#ifndef MKSETUP_BRANDING_H
#define MKSETUP_BRANDING_H

#include <string>
#include <utility>
#include <vector>

#include "base/product_values.h"
#include "pe_resources.h"

struct Branding {
    // Version resource texts (UTF-8); empty: the stub's stays.
    std::string productName, productVersion, company, description, copyright;
    std::string iconFile;        // the bytes of an .ico file; empty: the stub's stays
    std::string executionLevel;  // asInvoker, highestAvailable, requireAdministrator; empty: stays

    bool ChangesVersion() const;
    bool Any() const;
};

// Why `value` cannot be given with `option` (--product-version and the
// other version texts, --execution-level); empty when it can.
std::string BrandingValueError(const std::string &option, const std::string &value);

// Why `bytes` is not an icon file whose images can be carried; empty when
// it is one.
std::string IconFileError(const std::string &bytes);

// Changes `resources` (a program's) as `branding` says. The version
// resource keeps what is not given and takes the output's file name
// `outputName` as its original and (without ".exe") internal name; the
// product version is also the file version. The icon replaces the stub's
// icon group and its images (or becomes group 101). The execution level
// and the description go into the manifest. False with *error when the
// stub's own resource of that kind is damaged.
bool ApplyBranding(const Branding &branding, const std::string &outputName,
                   std::vector<Resource> *resources, std::string *error);

// Puts `values` into `resources` as the product values resource (replacing
// one that is there).
void SetProductValues(const ProductValues &values, std::vector<Resource> *resources);

// The product values the resources carry; false with *error when they are
// there but damaged. Empty when there are none.
bool CarriedProductValues(const std::vector<Resource> &resources, ProductValues *values,
                          std::string *error);

// The texts of the version resource (UTF-8), in order, and its fixed file
// version as "a.b.c.d" under the key "(file version)". Empty when there is
// none or it cannot be read.
std::vector<std::pair<std::string, std::string>> VersionStrings(
    const std::vector<Resource> &resources);

// What an installer with `resources` and product `values` still shows of the
// launcher's own identity (its product name, description, company,
// copyright, Java download page): a line for each, naming the value and the
// option that sets the product's own.
std::vector<std::string> LauncherIdentityShown(const std::vector<Resource> &resources,
                                               const ProductValues &values);

// True when the version text or product value `key` holds the launcher's
// own `value`.
bool IsLauncherOwnValue(const std::string &key, const std::string &value);

// The execution level the manifest asks for; empty when it asks for none.
std::string ManifestExecutionLevel(const std::vector<Resource> &resources);

#endif
