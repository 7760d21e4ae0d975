// verdict.h - what a structural walk of a picture file found.
#pragma once

namespace holescan {

// Complete: every byte the headers declare is there. Truncated: the file ends first.
// Unknown: the walk cannot tell (an unusual layout, or data it does not follow); the
// decoder decides.
enum class Verdict { Complete, Truncated, Unknown };

}  // namespace holescan
