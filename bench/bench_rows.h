// The texts the workbook benchmarks write: 1,000 short codes, one
// 200-character comment per row (distinct, so the string table grows as in
// a real table), and four status words. Built before timing starts.
#pragma once

#include <string>
#include <vector>

struct bench_texts {
    std::vector<std::u16string> codes, comments, statuses;

    bench_texts(int rows, size_t max_text) {
        for (int i = 0; i < 1000; ++i)
            codes.push_back(u"C-" + std::u16string(1, char16_t(u'A' + i % 26)) +
                            char16_t(u'0' + i % 10) + char16_t(u'a' + i / 26 % 26));
        for (int i = 0; i < rows; ++i) {
            std::u16string t;
            for (size_t k = 0; t.size() < 200; ++k)
                t.push_back(char16_t(u'a' + (i * 7 + k * 13) % 26));
            // The row number up front keeps every comment distinct.
            t[0] = char16_t(u'A' + i % 26);
            for (int d = 1, div = 1; d < 6; ++d, div *= 10)
                t[d] = char16_t(u'0' + i / div % 10);
            if (t.size() > max_text)
                t.resize(max_text);
            comments.push_back(std::move(t));
        }
        statuses = {u"open", u"closed", u"pending", u"void"};
    }
};
