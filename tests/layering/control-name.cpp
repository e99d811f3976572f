// Compiled by layering.sh twice: as it stands (a control of the layout) and with KX_MISSPELT defined, when
// the compiler must refuse it.
#include "base/ControlNames.h"

#ifdef KX_MISSPELT
constexpr kx::Control kChosen{"按钮99"};
#else
constexpr kx::Control kChosen{"按钮17"};
#endif

int main() { return kChosen.name()[0] == 0; }
