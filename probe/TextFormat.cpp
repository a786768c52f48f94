#include "probe/TextFormat.h"

namespace {

// Writes one character if it still fits before the terminator.
void Put(char* out, int capacity, int* length, char c)
{
    if (*length < capacity - 1) {
        out[*length] = c;
        ++*length;
    }
}

void PutText(char* out, int capacity, int* length, const char* text)
{
    if (text == nullptr) {
        return;
    }
    for (; *text != '\0' && *length < capacity - 1; ++text) {
        out[*length] = *text;
        ++*length;
    }
}

void PutNumber(char* out, int capacity, int* length, std::int64_t value)
{
    // Work on the magnitude as unsigned so that the most negative value prints too.
    std::uint64_t magnitude = value < 0 ? 0u - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    char digits[20];
    int count = 0;
    do {
        digits[count] = static_cast<char>('0' + magnitude % 10u);
        ++count;
        magnitude /= 10u;
    } while (magnitude != 0u);
    if (value < 0) {
        Put(out, capacity, length, '-');
    }
    while (count > 0) {
        --count;
        Put(out, capacity, length, digits[count]);
    }
}

} // namespace

int FormatText(char* out, int capacity, const char* pattern, const std::int64_t* numbers,
               const char* const* texts)
{
    if (capacity <= 0) {
        return 0;
    }
    int length = 0;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's' && texts != nullptr) {
            PutText(out, capacity, &length, *texts);
            ++texts;
            ++p;
        } else if (p[0] == '%' && p[1] == 'd' && numbers != nullptr) {
            PutNumber(out, capacity, &length, *numbers);
            ++numbers;
            ++p;
        } else if (p[0] == '%' && p[1] == 'l' && p[2] == 'd' && numbers != nullptr) {
            PutNumber(out, capacity, &length, *numbers);
            ++numbers;
            p += 2;
        } else {
            Put(out, capacity, &length, *p);
        }
    }
    out[length] = '\0';
    return length;
}

int AppendText(char* buffer, int capacity, const char* text)
{
    int length = 0;
    while (length < capacity - 1 && buffer[length] != '\0') {
        ++length;
    }
    PutText(buffer, capacity, &length, text);
    if (capacity > 0) {
        buffer[length] = '\0';
    }
    return length;
}
