#pragma once

// The package's entry: the creator the host resolves by name, under the plain (C) name and
// under the screen unit's qualified name.

extern "C" void CriaRegVendaManual();

// A pad of slips, beyond the single launch: one launch that keys the next slip with the header
// the exported variables stTalao... hold. True when the slip was recorded: the variables then
// hold the slip after it. False when the operator left the pad (its report was shown) or the
// launch failed: the variables are cleared for the next pad.
extern "C" bool CriaRegVendaManualTalao();

namespace Cli_Lum00071 {
void CriaRegVendaManual();
}
