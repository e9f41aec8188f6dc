// Stand-in for the system code page: a model that tests set, with the lead-byte ranges that
// Windows gives the four double-byte code pages. Every other code page is single-byte.
#include "platform/code_page.h"
#include "platform/linux/standin_internal.h"

namespace standin {
namespace {
unsigned activeCodePage = kSingleByteCodePage;
}  // namespace

void resetCodePage() { activeCodePage = kSingleByteCodePage; }
void setCodePage(unsigned codePage) { activeCodePage = codePage; }
unsigned codePage() { return activeCodePage; }

}  // namespace standin

bool isLeadByte(unsigned char byte) {
  switch (standin::activeCodePage) {
    case 932:  // Japanese (Shift JIS): 0xA1-0xDF are single-byte katakana
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:  // Simplified Chinese (GBK)
    case 949:  // Korean (Unified Hangul Code)
    case 950:  // Traditional Chinese (Big5)
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}
