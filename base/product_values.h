// The product values in their text form: what a launcher program runs as
// (main class, class path, download page, modern runtimes, trace variable,
// start delay). The programs carry the values they were built with in this
// form (their product record), and the packer writes the values a product
// chooses at pack time, in the same form, as a resource of the program; the
// launcher reads that resource at start. One parser and one set of rules
// serve both sides, so the packer refuses exactly what the launcher would.
//
// The form: a tag line, then one "key=value" line per value, each ending in
// "\n":
//
//     LAUNCHER-PRODUCT-VALUES 1
//     main-class=acme_setup
//     class-path=\package\acme.jar;.
//
// A key may be left out (the value is then not set); none may appear twice.
// Plain text, no Win32: it builds for the packer on any host.
#ifndef BASE_PRODUCT_VALUES_H
#define BASE_PRODUCT_VALUES_H

#include <string>
#include <vector>

// The keys, in the order they are written.
extern const char *const ProductValueKeys[];
extern const int ProductValueKeyCount;

// The resource the packer writes them into: RT_RCDATA, this number,
// language neutral, beginning with ProductValuesTag.
constexpr int ProductValuesResourceId = 1001;
extern const char ProductValuesTag[];

// The longest text the form may take, tag included.
constexpr size_t ProductValuesMaxLength = 16384;

// One set of values: each key with its value, in the order of
// ProductValueKeys; unset keys are absent.
struct ProductValues {
    std::vector<std::pair<std::string, std::string>> items;

    // The value of `key`, or null when it is not set.
    const std::string *Find(const std::string &key) const;
    // Sets `key` (one of ProductValueKeys) to `value`, keeping the order.
    void Set(const std::string &key, const std::string &value);
};

// Why `value` cannot be the value of `key`; empty when it can. The rules:
//   main-class          a Java class name: ASCII identifiers joined by "."
//   class-path          printable ASCII without '"', beginning with "\";
//                       no entry names a drive, a share or ".."
//   download-url        printable ASCII without spaces and '"'
//   accept-modern-java  "0" or "1"
//   trace-variable      letters, digits and "_", not beginning with a digit
//   start-delay-ms      a number of milliseconds up to 600000
// and every value holds at most 1024 characters (class-path 4096). An
// unknown key is refused too.
std::string ProductValueError(const std::string &key, const std::string &value);

// Reads the form in the `length` bytes at `text` (a NUL before the end
// ends it), which begins with the line `tag` (ProductValuesTag, or the tag
// of a program's product record), into *values. False with *error saying
// why when the tag is missing, a line lacks its "=" or its "\n", a key is
// unknown or repeated, a value breaks its rule, or the text is longer than
// ProductValuesMaxLength.
bool ParseProductValues(const char *text, size_t length, const std::string &tag,
                        ProductValues *values, std::string *error);

// The form of `values` behind ProductValuesTag.
std::string FormatProductValues(const ProductValues &values);

#endif
