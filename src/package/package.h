#pragma once

// The package's entry: the creator the host resolves by name, under the plain (C) name and
// under the screen unit's qualified name.

extern "C" void CriaRegVendaManual();

namespace Cli_Lum00071 {
void CriaRegVendaManual();
}
