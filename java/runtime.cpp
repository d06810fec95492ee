// Runtime discovery: the runtime directory test, the payload's runtime, and
// the choice between it and what the registry search found
// (java/registry_search.cpp).
#include "java/runtime.h"
#include "java/registry_search.h"
#include "java/runtime_directory.h"

#include "base/file_safety.h"
#include "base/mbcs.h"
#include "base/memory.h"
#include "base/owned.h"
#include "base/text.h"
#include "java/version.h"
#include "product/product.h"
#include "ui/progress.h"
#include "ui/report.h"
#include "zip/archive.h"
#include "zip/extract.h"

#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

char *bundledJREPath;      // payload runtime, once found
char *bundledLibraryPath;  // <application home>\package, once known


} // namespace

char *GetBundledJREPath(PayloadRuntime *payload, Trace &trace)
{
    if (bundledJREPath != nullptr) return bundledJREPath;
    const char *home = GetApplicationHome();
    if (home == nullptr) return nullptr;

    const std::string candidate = std::string(home) + "\\package\\jre";
    bundledJREPath = GetJREPath(candidate.c_str());
    if (bundledJREPath != nullptr) {
        trace.Line("runtime: payload runtime %s was already extracted", bundledJREPath);
        return bundledJREPath;
    }
    if (payload == nullptr || payload->archive == nullptr) {
        trace.Line("runtime: payload: none (the executable carries no archive)");
        return nullptr;
    }
    ZipArchive *archive = payload->archive;
    // Entry names are the candidate relative to the home, with slashes.
    std::string prefix = candidate.substr(strlen(home) + 1);
    for (char &c : prefix) {
        if (c == '\\') c = '/';
    }
    bool extracted = false;
    uint64_t bytes = 0;
    const DWORD started = GetTickCount();
    {
        ProgressStep step("unzipping_java_files", payload->progress);
        ExtractionSettings settings;
        settings.written = step.written();
        settings.stopRequested = payload->stopRequested;
        settings.pool = payload->pool;
        extracted = UnzipFiles(archive, home, prefix.c_str(), settings);
        bytes = step.written()->load();
    }
    trace.Line("runtime: %llu bytes of the payload's runtime written in %lu ms",
               static_cast<unsigned long long>(bytes),
               static_cast<unsigned long>(GetTickCount() - started));
    if (extracted) {
        payload->extractedBelow = home;
        payload->extractedPrefix = prefix;
        bundledJREPath = GetJREPath(candidate.c_str(), trace);
        if (bundledJREPath != nullptr)
            trace.Line("runtime: payload runtime %s extracted", bundledJREPath);
        else
            trace.Line("runtime: payload: no runtime under %s", prefix.c_str());
    } else {
        trace.Line("runtime: payload: extracting %s failed", prefix.c_str());
    }
    return bundledJREPath;
}

char *GetBundledLibraryPath()
{
    if (bundledLibraryPath != nullptr) return bundledLibraryPath;
    const char *home = GetApplicationHome();
    if (home == nullptr) return nullptr;
    bundledLibraryPath = StrDup((std::string(home) + "\\package").c_str());
    return bundledLibraryPath;
}

char *GetPublicJREPath(const RunAccount &account, PayloadRuntime *payload, Trace &trace)
{
    // The payload runtime is looked for (and extracted) before the registry
    // is read, whatever the registry holds.
    const char *bundled = GetBundledJREPath(payload, trace);
    if (payload != nullptr && payload->stopRequested != nullptr && payload->stopRequested()) {
        trace.Line("runtime: search stopped");
        return nullptr;
    }
    const bool bundledIsKit = bundled != nullptr && IsJDK(bundled);
    if (bundled != nullptr) {
        trace.Line("runtime: payload: candidate %s, version not examined, %s", bundled,
                   bundledIsKit ? "development kit" : "plain runtime");
    }

    std::vector<RuntimeCandidate> kits;
    std::vector<RuntimeCandidate> plain;
    CollectJavaSoftRuntimes(kits, plain, trace);

    // The first non-empty class wins; null `chosen` with a path is the
    // payload runtime.
    const RuntimeCandidate *chosen = nullptr;
    const char *path = nullptr;
    const char *why = nullptr;
    if (bundled != nullptr && bundledIsKit) {
        path = bundled;
        why = "the payload's development kit comes first";
    } else if ((chosen = Best(kits)) != nullptr) {
        why = "the newest registered development kit";
    } else if (bundled != nullptr) {
        path = bundled;
        why = "the payload's runtime comes before registered plain runtimes";
    } else if ((chosen = Best(plain)) != nullptr) {
        why = "the newest registered plain runtime";
    }
    if (chosen != nullptr) path = chosen->path.c_str();

    if (trace.on()) {
        for (const std::vector<RuntimeCandidate> *group : {&kits, &plain}) {
            for (const RuntimeCandidate &candidate : *group) {
                if (&candidate == chosen) continue;
                trace.Line("runtime: passed over %s, version %s, from %s", candidate.path.c_str(),
                           candidate.version.c_str(), candidate.source.c_str());
            }
        }
        if (bundled != nullptr && path != bundled)
            trace.Line("runtime: passed over the payload's runtime %s", bundled);
        if (path != nullptr) trace.Line("runtime: chose %s: %s", path, why);
    }
    if (path != nullptr) return StrDup(path);
    char *other = AcceptsModernJava() ? SearchOtherPlaces(trace, account) : nullptr;
    if (other == nullptr) trace.Line("runtime: no runtime found");
    return other;
}
