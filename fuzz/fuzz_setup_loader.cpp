// The setup loader: the line settings and the window list of any file. Windows come back only
// with a caption their class accepts, with a geometry that stays inside the client area, and
// the line settings taken are within their ranges; saving them again and loading gives the
// same.

#include "FuzzInput.h"
#include "bus/TDM.h"
#include "serial/TComm32.h"
#include "setup/IniFile.h"
#include "setup/SetupFile.h"

#include <QRect>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int areaWidth = in.word() % 4096;
    const int areaHeight = in.word() % 4096;
    IniFile ini;
    ini.parse(IniFile::decodeFileText(in.rest()));

    TComm32 port;
    SetupFile::LoadSerialSettings(ini, port);
    IniFile saved;
    SetupFile::SaveSerialSettings(saved, port);
    TComm32 again;
    SetupFile::LoadSerialSettings(saved, again);
    IniFile savedAgain;
    SetupFile::SaveSerialSettings(savedAgain, again);
    FUZZ_CHECK(saved.toText() == savedAgain.toText());

    static const QStringList restorable{
        QStringLiteral("TMonitorForm"), QStringLiteral("TTrendForm"),
        QStringLiteral("TKX300DnLdForm"), QStringLiteral("TTrafficForm")};
    QStringList notes;
    const QList<SetupFile::WindowEntry> windows =
        SetupFile::LoadWindowList(ini, restorable, &notes);
    FUZZ_CHECK(windows.size() <= SetupFile::MaxWindowEntries);
    const QSize area(areaWidth, areaHeight);
    for (const SetupFile::WindowEntry &window : windows) {
        FUZZ_CHECK(restorable.contains(window.className));
        const int slot = SetupFile::CaptionSlot(window.caption);
        FUZZ_CHECK(slot != SetupFile::BadSlot);
        if (SetupFile::ServesOneSlot(window.className))
            FUZZ_CHECK(slot >= 0 && slot < TDM::SlotCount);
        const QRect r = SetupFile::BoundedGeometry(window, area, QSize(300, 200));
        FUZZ_CHECK(r.width() >= 1 && r.height() >= 1);
    }
    // The list as saved loads back as it was.
    IniFile list;
    SetupFile::SaveWindowList(list, windows);
    FUZZ_CHECK(SetupFile::LoadWindowList(list, restorable) == windows);
    return 0;
}
