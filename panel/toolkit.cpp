#include "panel/toolkit.h"

#include "link/texts.h"

namespace kv306 {

void ReportCommError(Toolkit &toolkit, int number)
{
    if (number != 0)
        toolkit.MsgBox(CommErrorText(number), kMsgCritical, Tx::tr("错误"));
}

void ReportCommError(Toolkit &toolkit, const CommError &error)
{
    if (error.number() != 0)
        toolkit.MsgBox(CommErrorText(error), kMsgCritical, Tx::tr("错误"));
}

}  // namespace kv306
