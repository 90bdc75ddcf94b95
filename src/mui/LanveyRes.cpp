// A language resource module: the program loads it from mui/<lang>/LanveyRes.so below
// its own folder and takes its string table once the language and the version match.
// The build defines the language code, the version halves and which exports exist.

#include <cstdint>

extern const unsigned char kLanveyResTable[];

#define LANVEY_RES_EXPORT extern "C" __attribute__((visibility("default")))

#ifndef LANVEY_RES_NO_LANG_ID
// The module's language code, e.g. "zh_cn".
LANVEY_RES_EXPORT const char* GetLangStrID()
{
    return LANVEY_RES_LANG;
}
#endif

#ifndef LANVEY_RES_NO_VERSION
// The module's version: the program uses a module only of its own version.
LANVEY_RES_EXPORT void LanveyResVersion(std::uint32_t* ms, std::uint32_t* ls)
{
    if (ms)
        *ms = LANVEY_RES_VERSION_MS;
    if (ls)
        *ls = LANVEY_RES_VERSION_LS;
}
#endif

// The string table as UTF-8 text, one "<id>\t<text>" line per message.
LANVEY_RES_EXPORT const char* LanveyResStringTable()
{
    return reinterpret_cast<const char*>(kLanveyResTable);
}
