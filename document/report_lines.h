// A structured report as indented text, one line per content item:
//   POSITION [RELATIONSHIP] VALUE-TYPE [CONCEPT-NAME] [= VALUE] [{OBSERVED}]
// indented two spaces per level. POSITION numbers the item among its
// siblings under its parent's (1, 1.1, 1.2, 1.2.1...); a reference to another
// item reads "RELATIONSHIP -> POSITION". Codes read (VALUE, SCHEME, "MEANING");
// texts are quoted, control characters escaped.
#pragma once

#include <string>
#include <vector>

#include "document/structured_report.h"

std::vector<std::string> report_lines(const StructuredReport& report);
