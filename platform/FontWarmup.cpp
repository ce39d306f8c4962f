#include "platform/FontWarmup.h"

#include <fontconfig/fontconfig.h>

FontWarmup::FontWarmup()
    : thread_([] {
        FcInit();
        // Listing every face once brings the font caches into memory, so
        // that Qt's own listing, which follows, is quick.
        FcPattern* all = FcPatternCreate();
        FcObjectSet* fields = FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FILE, FC_INDEX, FC_WEIGHT,
                                               FC_SLANT, FC_SPACING, FC_CHARSET, FC_LANG, nullptr);
        FcFontSetDestroy(FcFontList(nullptr, all, fields));
        FcObjectSetDestroy(fields);
        FcPatternDestroy(all);
      }) {}

FontWarmup::~FontWarmup() { thread_.join(); }
