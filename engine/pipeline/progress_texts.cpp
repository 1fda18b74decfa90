#include "engine/pipeline/progress_texts.h"

#include <cmath>

namespace movrek {

std::string ProgressLineText(const std::string& line, int number, int total) {
  if (total < 0) {
    return line + " [List number: " + std::to_string(number) + "].";
  }
  return line + " [List number: " + std::to_string(number) +
         ", Total List Items: " + std::to_string(total) + "].";
}

std::string TransferProgressText(std::int32_t received, std::int32_t downloadSize) {
  if (downloadSize == 0) {
    return "Bytes received : " + std::to_string(received);
  }
  // nearbyint rounds in the default mode, which sends a half to the even
  // neighbour.
  const double percent = static_cast<double>(received) / static_cast<double>(downloadSize) * 100.0;
  return std::to_string(static_cast<long long>(std::nearbyint(percent))) + "%";
}

std::string OutcomeStatusText(TFetchStatus status) {
  switch (status) {
    case TFetchStatus::Ok:
      return kStatusOk;
    case TFetchStatus::NetworkError:
      return kStatusNetworkError;
    case TFetchStatus::NoRedirectLocation:
      return kStatusNoLocation;
    case TFetchStatus::CertificateError:
      return kStatusCertificateError;
    case TFetchStatus::GeneralError:
      break;
  }
  return kStatusGeneralError;
}

std::string OutcomeLineText(const TPageOutcome& outcome) {
  if (outcome.Status == TFetchStatus::Ok && !outcome.SkippedType.empty()) {
    return "SKIPPED, NOT HTML (" + outcome.SkippedType + "). ";
  }
  return OutcomeStatusText(outcome.Status);
}

std::string StatusLineText(const TPageOutcome& outcome) {
  return OutcomeLineText(outcome) + outcome.Address;
}

}  // namespace movrek
