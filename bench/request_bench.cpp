// Reading a print job at the largest body the agent takes (2 MiB), nearly all of it one
// label's base64 text. Reports the reading speed in MB/s.
#include "parvello/request.hpp"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

namespace {

constexpr std::size_t kBodySize = 2 * 1024 * 1024;

// A job of exactly kBodySize bytes. With `escaped_slashes` every '/' of the base64 text is
// written as "\/", as some JSON writers do, so the reader has to decode the string.
std::string two_mib_job(bool escaped_slashes) {
    const std::string head = R"({"protocol":"zpl","handshake":"fire_and_forget","transport":{"type":"usb",)"
                             R"("vendor_id":2338,"product_id":40},"labels":[{"index":0,"data_base64":")";
    const std::string tail = R"("}]})";
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string body = head;
    for (std::size_t i = 0; body.size() + tail.size() < kBodySize; ++i) {
        const char c = kAlphabet[(i * 7 + i / 64) % 64];
        if (c == '/' && escaped_slashes) {
            if (body.size() + tail.size() + 2 > kBodySize) break;
            body += "\\/";
        } else {
            body += c;
        }
    }
    body.append(kBodySize - tail.size() - body.size(), 'A');
    return body + tail;
}

void read_job(benchmark::State& state, bool escaped_slashes, parvello::ReadMode mode) {
    const std::string body = two_mib_job(escaped_slashes);
    for (auto _ : state) {
        auto envelope = parvello::read_job_envelope(body, mode);
        if (!envelope) {
            state.SkipWithError(envelope.error().message().c_str());
            break;
        }
        benchmark::DoNotOptimize(envelope);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
    state.counters["MB/s"] =
        benchmark::Counter(static_cast<double>(body.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadJob2MiB(benchmark::State& state) { read_job(state, false, parvello::ReadMode::HttpBody); }
void BM_ReadJob2MiBWebSocket(benchmark::State& state) { read_job(state, false, parvello::ReadMode::WebSocketMessage); }
void BM_ReadJob2MiBEscapedSlashes(benchmark::State& state) { read_job(state, true, parvello::ReadMode::HttpBody); }

}  // namespace

BENCHMARK(BM_ReadJob2MiB);
BENCHMARK(BM_ReadJob2MiBWebSocket);
BENCHMARK(BM_ReadJob2MiBEscapedSlashes);
