#include "tavro/agent/TavroRunReport.h"

namespace tavro {

std::string TavroRunReport::stepsText() const {
    std::string out;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        if (i > 0) out += '\n';
        out += std::to_string(i + 1);
        out += ". ";
        out += step.ok ? "✓" : "✗";
        out += ' ';
        out += step.text;
        if (i < ms.size() && ms[i] >= 1) {
            out += " · ";
            out += std::to_string(ms[i]);
            out += " ms";
        }
    }
    return out;
}

}  // namespace tavro
