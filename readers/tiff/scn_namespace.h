// The XML namespace of Leica SCN image descriptions. The SCN reader looks for
// it in the first level's ImageDescription and the SCN writer writes it, so
// both take it from here.
#pragma once

inline constexpr const char* kScnNamespaceUri = "http://www.leica-microsystems.com/scn/2010";
