#pragma once

#include "json/Value.h"

#include <optional>
#include <string>

namespace hestio::now {

/// What a figure shows when it has no number.
inline constexpr const char* noFigure = "—";
/// The reason when a request did not reach the service or got no answer.
inline constexpr const char* unreachable = "Service unreachable";
/// The reason when the answer was not the service's JSON, or lacked what it
/// should hold.
inline constexpr const char* unreadable = "Unreadable answer from the service";
/// The reason when the service said no without saying why.
inline constexpr const char* refused = "The service refused the request";

/// A change in whole percent: "+8 %", "−12 %" (with a minus sign), "±0 %",
/// "> +999 %"; "—" when there is nothing to compare with.
[[nodiscard]] std::string changeText(std::optional<double> percent);
/// "1 meter not reporting", "2 meters not reporting".
[[nodiscard]] std::string metersNotReportingText(int count);
/// "1 h without data".
[[nodiscard]] std::string hoursWithoutDataText(int hours);
/// Why a request the service answered gave no figure: its own message from
/// "error" (first line, capitalised, at most 120 bytes) when it sent one, else
/// `refused` for a plain no and `unreadable` for an answer that is no reply
/// of the service at all.
[[nodiscard]] std::string failureReason(const json::Value& reply, bool answeredWithJSON);

}
