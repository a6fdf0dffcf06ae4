// Cuts one file with the cutter, as a client would, for the benchmark
// script: tvx_cut IN OUT FROM TO TOTAL. Prints the seconds the cut took and
// the members that place it, one "name value" per line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "component/registry.h"
#include "convert/convert.h"
#include "tarvex10/tarvex10.h"

int main(int argc, char **argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s IN OUT FROM TO TOTAL\n", argv[0]);
        return 2;
    }
    // The messages go to standard error; the script reads standard output.
    auto cut = tvx::ComPtr<_clsKwVidoCutVideoA>::Attach(
        reinterpret_cast<_clsKwVidoCutVideoA *>(tvx::CutVideoClass().create()));
    tvx::Bstr in(tvx::convert::FromUtf8(argv[1])), out(tvx::convert::FromUtf8(argv[2]));
    SHORT result = 0;
    const auto begin = std::chrono::steady_clock::now();
    const HRESULT status = cut->CutVideo(in.Get(), out.Get(), std::atol(argv[3]), std::atol(argv[4]),
                                         std::atol(argv[5]), &result);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    LONG start_offset = 0, stop_offset = 0, minimum = 0, seq_start = 0, seq_end = 0;
    SHORT type = 0;
    cut->get_startO(&start_offset);
    cut->get_stopO(&stop_offset);
    cut->get_MinimumCut(&minimum);
    cut->get_VidSeqStart(&seq_start);
    cut->get_VidSeqEnd(&seq_end);
    cut->get_FileType(&type);
    std::printf("seconds %.6f\nstatus 0x%08x\nFileType %d\nMinimumCut %d\nVidSeqStart %d\nVidSeqEnd %d\nstartO %d\nstopO %d\n",
                took.count(), static_cast<unsigned>(status), type, minimum, seq_start, seq_end, start_offset,
                stop_offset);
    return status == S_OK ? 0 : 1;
}
