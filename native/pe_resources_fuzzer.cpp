// libFuzzer target for the packer's resource editor: every input is read as
// a program; when the reader takes it, one resource is replaced and one
// added as the packer does, and the writer either refuses the program or
// gives one whose resources read back as exactly those written. A crash, a
// sanitizer report or a difference aborts.
#include "tools/mksetup/pe_resources.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

auto Key(const Resource &r)
{
    return std::make_tuple(r.type.named, r.type.number, r.type.name, r.name.named, r.name.number,
                           r.name.name, r.language);
}

std::vector<Resource> Sorted(std::vector<Resource> resources)
{
    std::sort(resources.begin(), resources.end(),
              [](const Resource &a, const Resource &b) { return Key(a) < Key(b); });
    return resources;
}

bool Same(const std::vector<Resource> &written, const std::vector<Resource> &read)
{
    const std::vector<Resource> a = Sorted(written);
    const std::vector<Resource> b = Sorted(read);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Key(a[i]) != Key(b[i]) || a[i].data != b[i].data || a[i].codePage != b[i].codePage)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string image(reinterpret_cast<const char *>(data), size);
    std::vector<Resource> resources;
    std::string error;
    if (!ReadResources(image, &resources, &error)) return 0;
    // The packer's kind of change: one resource's data replaced, one added.
    if (!resources.empty()) resources.front().data += "replaced";
    Resource added;
    added.type = ResourceId::Number(kResourceRawData);
    added.name = ResourceId::Number(0x7FFF);
    added.language = 0x409;
    added.data = std::string(300, 'x');
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [&](const Resource &r) { return Key(r) == Key(added); }),
                    resources.end());
    resources.push_back(added);
    std::string out;
    if (!WriteResources(image, resources, &out, &error)) return 0;
    std::vector<Resource> back;
    if (!ReadResources(out, &back, &error) || !Same(resources, back)) abort();
    if (ChecksumFieldOffset(out) < 0) abort();
    return 0;
}
