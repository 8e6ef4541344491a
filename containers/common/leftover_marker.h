#pragma once

/// The name of an element holding bytes that a parser assigned to no structure. The plug-ins
/// report such bytes under it and the element tree shows it as "GARBAGE".
inline constexpr char leftoverMarker[] = "d771bd4e-a2e6-46e3-ad1c-1aafa1b60c87";
