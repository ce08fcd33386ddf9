// The compare of two setup files, slot by slot. A file compared with itself has no
// differing values; the two directions find the same number of them.

#include "FuzzInput.h"
#include "bus/TDM.h"
#include "params/ParameterDiff.h"
#include "setup/IniFile.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzInput::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // The two files are separated by a form feed.
    const QByteArray all = in.rest();
    const qsizetype cut = all.indexOf('\f');
    IniFile left;
    IniFile right;
    left.parse(IniFile::decodeFileText(cut < 0 ? all : all.left(cut)));
    right.parse(IniFile::decodeFileText(cut < 0 ? QByteArray() : all.mid(cut + 1)));
    for (int slot = 0; slot < TDM::SlotCount; ++slot) {
        if (!left.sectionExists(TDM::SectionName(slot)) &&
            !right.sectionExists(TDM::SectionName(slot)))
            continue;
        const ParameterDiff::Slot self = ParameterDiff::compareFiles(left, left, slot);
        FUZZ_CHECK(!self.modelsDiffer());
        for (const ParameterDiff::Entry &e : self.entries) {
            // Only values that are not known on either side are listed.
            FUZZ_CHECK(e.status != ParameterDiff::Status::Different);
            FUZZ_CHECK(e.left.state != ParameterDiff::Value::State::Known);
        }
        const ParameterDiff::Slot there = ParameterDiff::compareFiles(left, right, slot);
        const ParameterDiff::Slot back = ParameterDiff::compareFiles(right, left, slot);
        FUZZ_CHECK(there.entries.size() == back.entries.size());
        FUZZ_CHECK(there.equal() == back.equal());
        FUZZ_CHECK(there.leftModel == back.rightModel && there.rightModel == back.leftModel);
        for (const ParameterDiff::Entry &e : there.entries)
            ParameterDiff::statusName(e.status);
    }
    return 0;
}
