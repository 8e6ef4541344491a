#include "container_3gp.h"

namespace {

ContainerIso::Variant threeGpp()
{
    ContainerIso::Variant variant;
    variant.userTypes = false;
    return variant;
}

} // namespace

Container3GP::Container3GP() : ContainerMP4(threeGpp())
{
    // box       type    full  handler
    addBox("d263", Binary, 0, &Container3GP::parseBoxD263);
    addBox("bitr", Binary, 0, &Container3GP::parseBoxBITR);
}

int Container3GP::verifyContainerFormat(const QString &fileName)
{
    return verifySuffix(fileName, {QStringLiteral("3gp"), QStringLiteral("3g2")}, "3GP");
}
