// The response head, read from the socket by THttpHeadParser: the status
// line, interim answers before it, and the field lines that decide how the
// body is framed.
#include "net/base/winsock_errors.h"
#include "net/http/http_head_parser.h"
#include "net/http/http_transaction.h"

namespace movrek {

void THttpTransaction::ParseStatusLine(const std::string& line) {
  THttpStatus status = ParseStatusText(line);
  ResultCode = status.Code;
  ResultString = std::move(status.Reason);
}

bool THttpTransaction::ReceiveHead(THttpHeadParser& head) {
  while (!head.Done()) {
    std::string input = Sock->ReceiveChunk(Timeout);
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    const size_t taken = head.Feed(input);
    switch (head.Failure()) {
      case THttpHeadFailure::None:
        break;
      case THttpHeadFailure::LineTooLong:
        FailLineTooLong();
        return false;
      case THttpHeadFailure::HeadTooLarge:
        Fail(WSAENOBUFS);
        return false;
      case THttpHeadFailure::TooManyInterim:
        AnswerError = head.FailureText();
        Fail(WSAEMSGSIZE);
        return false;
    }
    KeepUnread(std::string_view(input).substr(taken));
  }
  HandOverPartner(head.TakePendingPartner());
  return true;
}

bool THttpTransaction::ReadResponseHead(THttpHeadParser& head, bool answered, THttpBodyPlan& plan) {
  bool received = true;
  if (!answered) {
    head.Begin(THttpHeadMode::Response);
    received = ReceiveHead(head);
  }
  const THttpResponseHead& answer = head.Head();
  TakeHeadLines(answer);
  plan = BodyPlanOf(answer.FieldLines);
  if (plan.MimeType) {
    MimeType = *plan.MimeType;
  }
  BodyFraming = plan.Framing;
  // The first line of an answer without head is the start of its body.
  Document += answer.BodyStart;
  KeepUnread(head.TakeOverflow());
  return received;
}

void THttpTransaction::TakeHeadLines(const THttpResponseHead& head) {
  if (!head.StatusLines.empty()) {
    ResultCode = head.StatusCode;
    ResultString = head.Reason;
  } else if (head.Headless) {
    ResultCode = 0;
  }
  Headers = head.StatusLines;
  Headers.insert(Headers.end(), head.FieldLines.begin(), head.FieldLines.end());
}

}  // namespace movrek
