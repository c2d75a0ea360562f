#include "app/controls/Images.h"

#include <QtGlobal>

// Resource registration names a function of the global namespace.
static void RegisterImages() { Q_INIT_RESOURCE(images); }

namespace wvctl {

void InitImages()
{
    static const bool registered = [] {
        RegisterImages();
        return true;
    }();
    (void)registered;
}

} // namespace wvctl
