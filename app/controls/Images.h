#pragma once
// The program's images (":/images/..."), built into this library. A static library
// registers its resources by hand: anything that shows them calls this first.

namespace wvctl {

// Registers the images once; later calls do nothing.
void InitImages();

} // namespace wvctl
