#include "container_mov.h"

namespace {

ContainerIso::Variant quickTime()
{
    ContainerIso::Variant variant;
    variant.userTypes = false;
    variant.nestedBoxesFrom = 8;
    variant.quickTime = true;
    return variant;
}

} // namespace

ContainerMOV::ContainerMOV() : ContainerIso(quickTime())
{
    // Boxes that only hold boxes; "meta" has no version and flags here.
    for (const char *type : {"moov", "udta", "clip", "trak", "matt", "edts", "mdia", "minf", "dinf", "stbl",
                             "meta", "ilst"})
        addBox(type, Master, 0, nullptr);
    // Full boxes shown as raw data.
    for (const char *type : {"cmov", "rmra", "kmat", "dref", "ctab", "mhdr", "ctry", "lang", "keys", "itif",
                             "name", "data", "esds"})
        addBox(type, Binary, 1, nullptr);
    // Plain boxes shown as raw data.
    for (const char *type : {"wide", "pnot", "prfl", "crgn", "pasp", "clap"})
        addBox(type, Binary, 0, nullptr);

    // box       type    full  handler
    addBox("ftyp", String, 0, &ContainerMOV::parseFileType);
    addBox("mdat", Binary, 0, &ContainerMOV::parseBoxMDAT);
    addBox("free", Binary, 0, &ContainerMOV::parseJunk);
    addBox("skip", Binary, 0, &ContainerMOV::parseJunk);
    addBox("avcC", Binary, 0, &ContainerMOV::parseBoxAVCC);
    addBox("mvhd", Binary, 1, &ContainerMOV::parseBoxMVHD);
    addBox("tkhd", Binary, 1, &ContainerMOV::parseBoxTKHD);
    addBox("elst", Binary, 1, &ContainerMOV::parseBoxELST);
    addBox("mdhd", Binary, 1, &ContainerMOV::parseBoxMDHD);
    addBox("hdlr", Binary, 1, &ContainerMOV::parseBoxHDLR);
    addBox("smhd", Binary, 1, &ContainerMOV::parseBoxSMHD);
    addBox("vmhd", Binary, 1, &ContainerMOV::parseBoxVMHD);
    // The QuickTime base media header of text, timecode and other tracks.
    addBox("gmhd", Master, 0, nullptr);
    addBox("gmin", Binary, 1, &ContainerMOV::parseBoxGMIN);
    addBox("text", Binary, 0, &ContainerMOV::parseBoxGmhdText);
    // Where the media data lies.
    addBox("dref", Binary, 1, &ContainerMOV::parseBoxDREF);
    addBox("url ", Binary, 1, &ContainerMOV::parseBoxDataEntry);
    addBox("urn ", Binary, 1, &ContainerMOV::parseBoxDataEntry);
    addBox("alis", Binary, 1, &ContainerMOV::parseBoxDataEntry);
    addBox("stts", Binary, 1, &ContainerMOV::parseBoxSTTS);
    addBox("stss", Binary, 1, &ContainerMOV::parseBoxSTSS);
    addBox("stsd", Binary, 1, &ContainerMOV::parseBoxSTSD);
    addBox("stsz", Binary, 1, &ContainerMOV::parseBoxSTSZ);
    addBox("stsc", Binary, 1, &ContainerMOV::parseBoxSTSC);
    addBox("stco", Binary, 1, &ContainerMOV::parseBoxSTCO);
    addBox("co64", Binary, 1, &ContainerMOV::parseBoxCO64);
    addDecodedBoxes();
}

int ContainerMOV::verifyContainerFormat(const QString &fileName)
{
    return verifySuffix(fileName, {QStringLiteral("mov"), QStringLiteral("qt")}, "MOV");
}

// Every table that places samples must be there; without a sync sample table every sample is
// a key frame, as in the other variants.
bool ContainerMOV::walksTrack(const TrackSampleTables &tables) const
{
    return tables.hasChunkOffsets && tables.hasSampleToChunk && tables.hasSampleSizes && tables.hasDurations;
}
