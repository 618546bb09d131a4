#include "viewer/set_browser.h"

#include <algorithm>

#include "viewer/charset.h"
#include "viewer/encoding.h"

std::string decoded_text(const std::string& bytes, const std::string& character_set, bool person_name)
{
    if (const auto charset = CharacterSet::from_value(character_set)) {
        return charset->decode(bytes, person_name ? TextShape::person_name : TextShape::multi_valued);
    }
    return is_utf8(bytes) ? bytes : cp932_to_utf8(bytes);
}

SeriesKey series_key(const Patient& patient, const Study& study, const Series& series)
{
    return {patient.id, patient.name, study.uid, series.uid};
}

namespace {

const Series* find_series(const std::vector<Patient>& patients, const SeriesKey& key)
{
    for (const Patient& p : patients) {
        if (p.id != key.patient_id || p.name != key.patient_name) {
            continue;
        }
        for (const Study& st : p.studies) {
            if (st.uid != key.study_uid) {
                continue;
            }
            for (const Series& s : st.series) {
                if (s.uid == key.series_uid) {
                    return &s;
                }
            }
        }
    }
    return nullptr;
}

const std::string* character_set_of(const std::vector<Patient>& patients, const SeriesKey& key)
{
    for (const Patient& p : patients) {
        if (p.id == key.patient_id && p.name == key.patient_name) {
            return &p.character_set;
        }
    }
    return nullptr;
}

} // namespace

void SetBrowser::add(std::vector<ScannedFile> files)
{
    std::optional<ImageKey> shown;
    if (series() != nullptr) {
        shown = image();
    }
    files_ += files.size();
    set_.add(std::move(files));
    if (!shown) {
        return;
    }
    const Series* s = series();
    for (std::size_t i = 0; i < s->images.size(); ++i) {
        if (image(static_cast<int>(i)) == *shown) {
            step_ = static_cast<int>(i);
            return;
        }
    }
}

bool SetBrowser::select(const SeriesKey& key)
{
    if (find_series(set_.patients(), key) == nullptr) {
        return false;
    }
    key_ = key;
    step_ = 0;
    return true;
}

bool SetBrowser::select_first()
{
    for (const Patient& p : set_.patients()) {
        for (const Study& st : p.studies) {
            if (!st.series.empty()) {
                return select(series_key(p, st, st.series.front()));
            }
        }
    }
    return false;
}

const Series* SetBrowser::series() const { return key_ ? find_series(set_.patients(), *key_) : nullptr; }

int SetBrowser::steps() const
{
    const Series* s = series();
    return s == nullptr ? 0 : static_cast<int>(s->images.size());
}

bool SetBrowser::go_to(int n)
{
    const int count = steps();
    if (count == 0) {
        return false;
    }
    n = std::clamp(n, 0, count - 1);
    if (n == step_) {
        return false;
    }
    step_ = n;
    return true;
}

ImageKey SetBrowser::image(int n) const
{
    const Series* s = series();
    if (s == nullptr || n < 0 || n >= static_cast<int>(s->images.size())) {
        return {};
    }
    const SeriesImage& im = s->images[static_cast<std::size_t>(n)];
    return {s->files[im.file].path, im.frame > 0 ? im.frame - 1 : 0};
}

std::vector<ImageKey> SetBrowser::around(int direction) const
{
    std::vector<ImageKey> keys;
    const int count = steps();
    for (const int n : {step_ + direction, step_ + 2 * direction, step_ - direction}) {
        if (n >= 0 && n < count) {
            keys.push_back(image(n));
        }
    }
    return keys;
}

std::string SetBrowser::title() const
{
    const Series* s = series();
    if (s == nullptr) {
        return {};
    }
    const std::string* charset = character_set_of(set_.patients(), *key_);
    const std::string name = !s->description.empty()
                                 ? decoded_text(s->description, charset != nullptr ? *charset : "", false)
                                 : "Series " + s->number;
    return name + " - " + std::to_string(step_ + 1) + " / " + std::to_string(s->images.size());
}
