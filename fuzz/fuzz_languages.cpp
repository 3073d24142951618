// The languages resource as the runtime reads it: the entries, each table inflated, and every
// text of each language asked for, failure texts included. Whatever the bytes, the texts are
// never empty and never keep a placeholder. The choice of a language reads the same entries: what
// it picks is one of the user's languages, before the English one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>

#include "package/payload.h"
#include "texts/language_choice.h"
#include "texts/languages_resource.h"
#include "texts/text_lookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace plinth;
    const std::span resource(data, size);
    if (const auto chosen = choose_language("fr-CA,pt-BR,en-US,de", resource)) {
        if (tag_match(chosen->tag, "fr-CA") == 0 && tag_match(chosen->tag, "pt-BR") == 0) std::abort();
    }
    LanguagesReader reader(resource);
    for (CarriedLanguage language; reader.next(language);) {
        auto table = inflate_payload(language.table, kMaxTableSize);
        if (!table) continue;
        const TextLookup lookup(language.tag, std::move(*table));
        for (std::size_t i = 0; i < kMessageCount; ++i) {
            const std::string text = lookup.text(static_cast<Message>(i), {"A", "B", "C"});
            if (text.empty() || text.find("{name}") != std::string::npos) std::abort();
        }
    }
    return 0;
}
