// Feeds arbitrary bytes to the site-file reader. A file it accepts must make a site of
// at most sixteen connections; written out again and read back, that site and its unit
// choices must give the same bytes once more. Nothing may read past the bytes given.

#include "site/SiteArchive.h"
#include "site/WVDoc.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The file that the loaded site and the catalogue make.
std::string Rewrite(const LoadedSite& loaded, CUnitCatalog& catalogue)
{
    catalogue.RestoreUnitChoices(loaded.units);
    CWVDoc doc;
    doc.SetUnitCatalog(&catalogue);
    Check(doc.OnNewDocument());
    for (int i = 0; i < loaded.site->GetConnectionCount(); ++i) {
        CConnectionInfo info;
        Check(loaded.site->GetConnectionInfo(i, info) == 0);
        Check(doc.GetSite()->AddConnection(info, loaded.site->GetConnection(i)->IsNetworkSearch()) == 0);
    }
    CSiteArchive out;
    doc.StoreSite(out);
    return out.GetBytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CWVDoc reader;
    CSiteArchive archive(bytes, "/sites/fuzz.wv4");
    LoadedSite loaded;
    if (!reader.LoadSite(archive, loaded)) {
        Check(loaded.site == nullptr);
        return 0;
    }
    Check(loaded.site != nullptr);
    Check(loaded.site->GetName() == "fuzz");
    Check(loaded.site->GetConnectionCount() <= CQorSite::kMaxConnections);
    Check(loaded.units.size() <= size / 2);

    CUnitCatalog catalogue("44");
    const std::string first = Rewrite(loaded, catalogue);
    CSiteArchive again(first, "/sites/fuzz.wv4");
    LoadedSite reloaded;
    Check(reader.LoadSite(again, reloaded));
    Check(reloaded.site->GetConnectionCount() == loaded.site->GetConnectionCount());
    Check(Rewrite(reloaded, catalogue) == first);
    return 0;
}
