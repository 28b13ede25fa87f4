// Feeds arbitrary bytes to the skin file loader as a skin file: the
// container is unpacked and its description parsed. Both may refuse the
// bytes (SkinFileError, SkinError) but must never crash, read out of
// bounds or inflate past their cap.
#include "skin/skin_description.h"
#include "skin/skin_error.h"
#include "skin/skin_file.h"
#include "skin/skin_file_error.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const TSkinDescription skin =
            TSkinDescription::FromText(QString::fromUtf8(UnpackSkinFile(file)));
        (void)skin.StyleSheet().size();
        (void)skin.ToText().size();
    } catch (const SkinFileError&) {
    } catch (const SkinError&) {
    }
    return 0;
}
