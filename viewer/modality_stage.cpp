#include "viewer/modality_stage.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "image/single.h"

ModalityStage ModalityStage::rescale(double slope, double intercept)
{
    ModalityStage stage;
    stage.linear_ = {std::isfinite(slope) ? slope : 1.0, std::isfinite(intercept) ? intercept : 0.0};
    return stage;
}

ModalityStage ModalityStage::of(const single_image& image, std::string& problem)
{
    problem.clear();
    if (image.display.modality_lut) {
        std::string why;
        std::optional<LookupTable> table =
            LookupTable::of(*image.display.modality_lut, image.pixel_representation == 1, why);
        if (table) {
            ModalityStage stage;
            stage.table_ = std::move(table);
            return stage;
        }
        problem = "The Modality LUT is not applied: " + why + ".";
    }
    return rescale(image.rescale_slope, image.rescale_intercept);
}

int32_t ModalityStage::sample(int64_t stored) const
{
    if (table_) {
        return (*table_)(stored);
    }
    return static_cast<int32_t>(std::clamp<int64_t>(stored, INT32_MIN, INT32_MAX));
}
