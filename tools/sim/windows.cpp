// SPDX-License-Identifier: MIT
// The meter's special windows: File Info (64944/64952/64960) and the log transfer window
// (63120/63152/63160) with its scripted log files.
#include "internal.hpp"

#include <algorithm>

namespace ksim {

namespace {
std::uint16_t info_records(const LogFile& f) {
    if (f.info_records) return *f.info_records;
    if (f.endless) return 0xFFFF;
    return static_cast<std::uint16_t>(std::min<std::size_t>(f.records.size(), 0xFFFF));
}
}  // namespace

std::uint8_t MeterContent::window_read_check(std::uint32_t a, std::uint32_t n) const {
    if (info_read_exception && a < FILE_INFO_DATA + 18u && a + n > FILE_INFO_DATA)
        return info_read_exception;
    return 0;
}

std::uint8_t MeterContent::window_write(std::uint16_t address, std::uint8_t fc,
                                        const std::vector<std::uint16_t>& values) {
    if (address == FILE_INFO_REQUEST && fc == 16 && values.size() >= 2 && values[0] == 9) {
        std::uint8_t refuse = 0;
        file_info(values, refuse);
        if (refuse) return refuse;
        regs.set(address, values);
        return 0;
    }
    regs.set(address, values);
    if (address != TRANSFER_REQUEST || values.empty()) return 0;
    if (fc == 6) {
        if (values[0] == 1) {  // acknowledge
            auto it = logs.find(current_file);
            if (it != logs.end()) {
                LogState& st = it->second;
                if (!st.file.reserve_forever) st.cursor += st.pending;
                st.pending = 0;
            }
        }
        return 0;
    }
    const std::uint16_t code = values[0];
    const int file = values.size() > 1 ? values[1] : 0;
    if (code == 5) {  // select
        current_file = file;
        auto it = logs.find(file);
        if (it != logs.end()) it->second.pending = 0;
    } else if (code == 3) {  // seek
        current_file = file;
        auto it = logs.find(file);
        if (it != logs.end()) {
            LogState& st = it->second;
            const std::uint16_t index = values.size() > 4 ? values[4] : 0;
            std::uint64_t c =
                static_cast<std::uint16_t>(index + st.file.seek_index_offset - st.file.start_index);
            if (!st.file.endless) c = std::min<std::uint64_t>(c, st.file.records.size());
            st.cursor = c;
            st.pending = 0;
        }
    } else if (code == 11) {  // next block
        next_block(file);
    }
    return 0;
}

void MeterContent::file_info(const std::vector<std::uint16_t>& req, std::uint8_t& refuse) {
    const int file = req[1];
    const std::uint16_t variant = req.size() > 5 ? req[5] : 0;
    auto it = logs.find(file);
    const LogFile::Refusal* rf = nullptr;
    if (it != logs.end()) {
        if (variant == 0) rf = &it->second.file.var0_refusal;
        if (variant == 2) rf = &it->second.file.var2_refusal;
        if (rf && rf->code && rf->on_write) {
            refuse = rf->code;
            return;
        }
    }
    info_read_exception = 0;
    regs.set(FILE_INFO_HEADER, {9, static_cast<std::uint16_t>(file), 0, 0, 0, variant, 0, 0});
    regs.erase(FILE_INFO_DATA, 18);
    if (it == logs.end() || !rf) {
        info_read_exception = 2;
        return;
    }
    if (rf->code) info_read_exception = rf->code;
    const LogState& st = it->second;
    const LogFile& f = st.file;
    if (variant == 0) {
        std::vector<std::uint16_t> w(14, 0);
        w[0] = static_cast<std::uint16_t>(file);
        w[8] = info_records(f);
        w[10] =
            f.read_index ? *f.read_index : static_cast<std::uint16_t>(f.start_index + st.cursor);
        w[12] = f.start_index;
        regs.set(FILE_INFO_DATA, w);
    } else {
        std::vector<std::uint16_t> w(18, 0);
        if (f.info_var2_words) {
            w.assign(f.info_var2_words->begin(), f.info_var2_words->end());
        } else {
            w[1] = static_cast<std::uint16_t>(f.columns.size());
            for (std::size_t i = 0; i < f.columns.size() && i < 16; ++i) w[2 + i] = f.columns[i];
        }
        regs.set(FILE_INFO_DATA, w);
    }
}

std::vector<std::uint16_t> MeterContent::log_record(const LogState& st, std::uint64_t i) const {
    const LogFile& f = st.file;
    if (!f.endless) return f.records[i];
    auto seq = static_cast<std::uint16_t>(f.endless_first_seq + i);
    auto seconds = static_cast<std::uint32_t>(1700000000u + 900u * i);
    return datalog_record(0, seq, seconds, 0, 0, {static_cast<std::int32_t>(i)});
}

void MeterContent::next_block(int file_id) {
    current_file = file_id;
    std::vector<std::uint16_t> header(8, 0);
    header[0] = static_cast<std::uint16_t>(file_id);
    std::vector<std::uint16_t> data;
    std::size_t n = 0, wpr = 0;
    auto it = logs.find(file_id);
    if (it != logs.end()) {
        LogState& st = it->second;
        const LogFile& f = st.file;
        header[2] = static_cast<std::uint16_t>(st.cursor);
        if (f.empty_at && st.cursor == *f.empty_at && st.empty_served < f.empty_count) {
            ++st.empty_served;
        } else {
            const std::size_t block =
                f.records_per_block > 0 ? static_cast<std::size_t>(f.records_per_block) : 1;
            if (f.endless)
                n = block;
            else if (st.cursor < f.records.size())
                n = std::min<std::size_t>(block, f.records.size() - st.cursor);
            std::vector<std::vector<std::uint16_t>> recs;
            for (std::size_t k = 0; k < n; ++k) {
                recs.push_back(log_record(st, st.cursor + k));
                wpr = std::max(wpr, recs.back().size());
            }
            for (auto& r : recs) {
                r.resize(wpr, 0);
                data.insert(data.end(), r.begin(), r.end());
            }
        }
        st.pending = n;
        header[4] = f.header_records ? *f.header_records : static_cast<std::uint16_t>(n);
        header[5] = f.header_words ? *f.header_words : static_cast<std::uint16_t>(wpr);
    }
    regs.set(BLOCK_HEADER, header);
    regs.erase(BLOCK_DATA, block_data_len);
    regs.set(BLOCK_DATA, data);
    block_data_len = data.size();
}

void MeterContent::set_log(int file_id, LogFile file) {
    LogState st;
    st.file = std::move(file);
    logs[file_id] = std::move(st);
}
void MeterContent::update_log(int file_id, const std::function<void(LogFile&)>& change) {
    LogState& st = logs[file_id];
    const std::uint16_t start = st.file.start_index;
    change(st.file);
    // The meter's read pointer is an index into its log, not a place in `records`: when the
    // oldest records were overwritten it stays on the record it was on, and when that one is gone
    // too, on the oldest left, with an acknowledge still moving past what the last block served.
    const auto dropped = static_cast<std::uint16_t>(st.file.start_index - start);
    if (dropped == 0 || st.file.endless) return;
    if (st.cursor >= dropped) {
        st.cursor -= dropped;
        return;
    }
    const std::uint64_t acknowledged = st.cursor + st.pending;
    st.pending = acknowledged > dropped ? static_cast<std::size_t>(acknowledged - dropped) : 0;
    st.cursor = 0;
}
std::size_t MeterContent::log_cursor(int file_id) const {
    auto it = logs.find(file_id);
    return it == logs.end() ? 0 : static_cast<std::size_t>(it->second.cursor);
}

// ------------------------------------------------------------------ Simulator log API
void Simulator::set_log(int file_id, LogFile file) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.set_log(file_id, std::move(file));
}
void Simulator::remove_log(int file_id) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.logs.erase(file_id);
}
void Simulator::update_log(int file_id, const std::function<void(LogFile&)>& change) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    impl_->content.update_log(file_id, change);
}
std::size_t Simulator::log_cursor(int file_id) const {
    std::lock_guard<std::mutex> lk(impl_->mu);
    return impl_->content.log_cursor(file_id);
}
void Simulator::set_log_cursor(int file_id, std::size_t cursor) {
    std::lock_guard<std::mutex> lk(impl_->mu);
    auto it = impl_->content.logs.find(file_id);
    if (it != impl_->content.logs.end()) {
        it->second.cursor = cursor;
        it->second.pending = 0;
        it->second.empty_served = 0;
    }
}

}  // namespace ksim
