#pragma once
// The desktop program's language: its own texts are Qt Linguist translations
// whose source text is the Chinese (translations/kestrum_en.ts), the core's
// come from the core's catalog, and Qt's own buttons from Qt's translations.

#include "base/catalog.h"

namespace kestrum {

// Every text from now on in `language`; may be called again to switch.
void UseLanguage(Language language);

}  // namespace kestrum
