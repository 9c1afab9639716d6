// What the main window shows of the companion products without asking anything: whether the
// promotions run at all, the rotating feature captions, the maker's notice and its pages.
#pragma once

#include <array>
#include <string>

#include "platform/types.h"

namespace quellin::promo {

// Promotions were paused from January to October 2020 and run on every other date.
bool PromotionsShown(const win::SYSTEMTIME& today);

// The feature group's captions, one set per tag of the caption timer. "&&" draws as "&".
inline constexpr int kCaptionSetCount = 4;
using CaptionSet = std::array<const char*, 3>;
// A tag outside 0..3 has no set: the buttons keep what they show.
const CaptionSet* FeatureCaptions(int tag);
// The tag of the tick after `tag`: 0, 1, 2, 3, 0, ...
int NextCaptionTag(int tag);

// The notice at the foot of the main window, designed in 2020; from 2021 on its range ends in
// the current year.
inline constexpr const char* kNoticeDesignCaption =
    "Copyright 2014-2020 Tarnwell Software. All rights reserved.";
std::string NoticeCaption(const std::string& designCaption, int currentYear);

// Pages below the maker's site address.
std::string UpgradePageAddress(const std::string& siteAddress);
std::string FeaturesPageAddress(const std::string& siteAddress);
std::string PreviewPageAddress(const std::string& siteAddress);
std::string PageAddress(const std::string& siteAddress, const std::string& page);

// Opens an address in the user's browser on behalf of `owner`; the outcome is not examined.
void OpenAddress(win::HWND owner, const std::string& address);

}  // namespace quellin::promo
