#include "container_mp4.h"

ContainerMP4::ContainerMP4() : ContainerMP4(Variant()) {}

ContainerMP4::ContainerMP4(const Variant &variant) : ContainerIso(variant)
{
    // Boxes that only hold boxes.
    for (const char *type : {"moov", "udta", "trak", "mdia", "minf", "dinf", "stbl", "ilst", "edts",
                             "mvex", "moof", "traf", "mfra", "strk", "strd", "meco"})
        addBox(type, Master, 0, nullptr);
    // Full boxes shown as raw data.
    for (const char *type : {"iods", "dref", "pdin", "trgr", "hmhd", "nmhd", "mehd", "trex", "leva",
                             "mfhd", "tfhd", "trun", "sbgp", "sgpd", "subs", "saiz", "saio", "tfdt",
                             "tfra", "mfro", "cprt", "tsel", "stri", "mere", "sidx", "ssix", "prft",
                             "esds"})
        addBox(type, Binary, 1, nullptr);
    // Plain boxes shown as raw data.
    for (const char *type : {"tref", "pasp", "clap"})
        addBox(type, Binary, 0, nullptr);

    // box       type    full  handler
    addBox("meta", Master, 1, nullptr);
    addBox("ftyp", String, 0, &ContainerMP4::parseFileType);
    addBox("styp", String, 0, &ContainerMP4::parseFileType);
    addBox("free", Binary, 0, &ContainerMP4::parseJunk);
    addBox("skip", Binary, 0, &ContainerMP4::parseJunk);
    addBox("mdat", Binary, 0, &ContainerMP4::parseBoxMDAT);
    addBox("avcC", Binary, 0, &ContainerMP4::parseBoxAVCC);
    addBox("mvhd", Binary, 1, &ContainerMP4::parseBoxMVHD);
    addBox("tkhd", Binary, 1, &ContainerMP4::parseBoxTKHD);
    addBox("mdhd", Binary, 1, &ContainerMP4::parseBoxMDHD);
    addBox("hdlr", Binary, 1, &ContainerMP4::parseBoxHDLR);
    addBox("smhd", Binary, 1, &ContainerMP4::parseBoxSMHD);
    addBox("vmhd", Binary, 1, &ContainerMP4::parseBoxVMHD);
    // The QuickTime base media header of text, timecode and other tracks.
    addBox("gmhd", Master, 0, nullptr);
    addBox("gmin", Binary, 1, &ContainerMP4::parseBoxGMIN);
    addBox("text", Binary, 0, &ContainerMP4::parseBoxGmhdText);
    // Where the media data lies.
    addBox("dref", Binary, 1, &ContainerMP4::parseBoxDREF);
    addBox("url ", Binary, 1, &ContainerMP4::parseBoxDataEntry);
    addBox("urn ", Binary, 1, &ContainerMP4::parseBoxDataEntry);
    addBox("alis", Binary, 1, &ContainerMP4::parseBoxDataEntry);
    addBox("elst", Binary, 1, &ContainerMP4::parseBoxELST);
    addBox("stsd", Binary, 1, &ContainerMP4::parseBoxSTSD);
    addBox("stts", Binary, 1, &ContainerMP4::parseBoxSTTS);
    addBox("stss", Binary, 1, &ContainerMP4::parseBoxSTSS);
    addBox("stsc", Binary, 1, &ContainerMP4::parseBoxSTSC);
    addBox("stco", Binary, 1, &ContainerMP4::parseBoxSTCO);
    addBox("co64", Binary, 1, &ContainerMP4::parseBoxCO64);
    addBox("stsz", Binary, 1, &ContainerMP4::parseBoxSTSZ);
    addDecodedBoxes();
}

int ContainerMP4::verifyContainerFormat(const QString &fileName)
{
    return verifySuffix(fileName, {QStringLiteral("mp4"), QStringLiteral("f4v"), QStringLiteral("mp4v")},
                        "MP4");
}
