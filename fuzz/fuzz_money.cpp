// Amount texts: what passes as typed amount text parses, and every formatted amount parses back to itself.
#include "records/money.h"

#include <cstdlib>
#include <string>

using namespace records;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = ParseMoney(text);
    if (IsMoneyText(text) && !parsed)
        std::abort();
    if (parsed) {
        if (ParseMoney(FormatMoney(*parsed)) != parsed || ParseMoney(MoneyToText(*parsed)) != parsed)
            std::abort();
        if (ParseMoneyField(MoneyToText(*parsed)) != parsed)
            std::abort();
    }
    (void)CheckMoneyText(text);
    (void)ParseMoneyField(text);
    if (size >= 8) { // any 64-bit count of ten-thousandths formats and parses back
        std::int64_t raw = 0;
        for (int i = 0; i < 8; ++i)
            raw = static_cast<std::int64_t>(static_cast<std::uint64_t>(raw) << 8 | data[i]);
        const Currency amount = Currency::FromTenThousandths(raw);
        if (ParseMoney(FormatMoney(amount)) != amount || ParseMoney(MoneyToText(amount)) != amount)
            std::abort();
    }
    return 0;
}
