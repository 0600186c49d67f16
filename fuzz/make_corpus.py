#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/.

usage: python3 fuzz/make_corpus.py build/kovagen

result/: two bytes (transfer type, time-step answer) and a result file: small
samples of kovagen, then hand-damaged files (cut records, lying length fields,
negative and huge counts, stray corners, NaN and infinite values...).
answers/: console answers, some followed by a byte 0 and a work list.
"""
import pathlib
import struct
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent


def i4(v):
    return struct.pack('<i', v)


def r8(v):
    return struct.pack('<d', v)


def rec(data, length=None):
    n = len(data) if length is None else length
    return i4(n) + data + i4(n)


def model(title=b'HAND MADE', nodes=4, corners=((1, 2, 3, 4, 1),), numnp=None, numel=None):
    body = b''.join(r8(k) + r8(k % 2) + r8(10) + r8(1e-4) + i4(k % 2) for k in range(nodes))
    elems = b''.join(b''.join(i4(c) for c in e) + r8(1e-4) for e in corners)
    return (rec(title.ljust(80)[:80]) + rec(i4(nodes if numnp is None else numnp)) + rec(body) +
            rec(i4(len(corners) if numel is None else numel)) + rec(elems))


def step(n, time, nodes=4, elements=1, h=1.5, vx=1e-5):
    return (rec(i4(n) + r8(time)) +
            rec(b''.join(i4(1) + r8(h) + r8(0.0) for _ in range(nodes))) +
            rec(b''.join(r8(vx) + r8(-vx) for _ in range(elements))))


def kovagen(exe, nodes, steps):
    with tempfile.TemporaryDirectory() as d:
        subprocess.run([exe, '--nodes', str(nodes), '--steps', str(steps), '--dir', d],
                       check=True, stdout=subprocess.DEVNULL)
        return (pathlib.Path(d) / 'result.bin').read_bytes()


def head(itype, nsel):
    return bytes([itype - 1, nsel & 0xFF])


def main():
    exe = sys.argv[1]
    k4, k9, k16 = kovagen(exe, 4, 1), kovagen(exe, 9, 2), kovagen(exe, 16, 3)
    good = model() + step(1, 60.0) + step(2, 120.0)
    result = {
        'kovagen4_restart_final': head(1, 0) + k4,
        'kovagen9_tecplot_all': head(2, -1) + k9,
        'kovagen9_femap_final': head(4, 0) + k9,
        'kovagen16_atlas_step2': head(3, 2) + k16,
        'kovagen16_femap_all': head(4, -1) + k16,
        'kovagen16_tecplot_final': head(2, 0) + k16,
        'cut_in_last_step': head(2, -1) + k9[:-20],
        'cut_in_step_header': head(1, 0) + good + rec(i4(3) + r8(1.0))[:9],
        'bytes_after_last_step': head(4, 0) + good + b'\x01\x02',
        'header_length_past_end': head(2, 0) + good + i4(1000) + i4(3) + r8(1.0) + i4(1000),
        'node_record_negative_length': head(2, 0) + rec(b'T'.ljust(80)) + rec(i4(4)) + i4(-36) + b'\0' * 8,
        'node_record_too_short': head(1, -1) + rec(b'T'.ljust(80)) + rec(i4(4)) + rec(b'\0' * 100),
        'huge_node_count': head(2, 0) + model(numnp=0x7FFFFFFF) + step(1, 1.0),
        'negative_node_count': head(2, -1) + model(nodes=0, numnp=-3, corners=((0, 0, 0, 0, 1), (1, 0, 0, 0, 1))) +
                               step(1, 1.0, nodes=0, elements=2),
        'negative_element_count': head(4, -1) + model(numel=-1) + step(1, 1.0, elements=0),
        'stray_corners': head(4, 0) + model(corners=((1, 2, 99, -5, 1), (2, 0, 0, 0, 1), (3, 3, 3, 3, 0))) +
                         step(1, 1.0, elements=3),
        'nan_and_infinities': head(2, 0) + model() + step(1, float('nan'), h=float('inf'), vx=float('nan')),
        'extreme_values': head(1, -1) + model() + step(1, 1e300, h=-1e-310, vx=-1e300) + step(1, -0.0, h=9.99995e5),
        'records_longer_than_items': head(3, -1) + rec(b'T' * 90) + rec(i4(1) + b'xxxx') + rec(b'\0' * 40) +
                                     rec(i4(0) + b'\0' * 8) + rec(b'') + rec(i4(7) + r8(2.0) + b'extra') +
                                     rec(b'\0' * 24) + rec(b''),
        'empty_records': head(2, 0) + rec(b'') * 5,
        'title_control_characters': head(2, 0) + model(title=b'A\r\nB\x1b[2J\x00\x7f') + step(0, 1.0),
        'same_step_numbers': head(1, 5) + model() + step(5, 1.0) + step(5, 2.0) + step(0, 3.0),
        'model_only': head(2, 7) + model(),
        'empty_file': head(1, 0),
        'three_bytes': head(2, 0) + b'\x50\x00\x00',
    }
    answers = {
        'tecplot_final': b'0\n0\n2\nout.dat\n0\n',
        'restart_all': b'0\r\n0\r\n1\r\nrestart.txt\r\n-1\r\n',
        'atlas_step2': b'0\n0\n3\n2\n',
        'femap_null_answer': b'0\n0\n4\nfemap.neu\n,\n',
        'stop_1111': b'0\n1\n',
        'syntax_error': b'x\n',
        'out_of_range': b'99999999999\n',
        'real_forms': b'  2.7  \n-0.5\n3*2\nout\n1E1\n',
        'logical_and_slash': b'T\n.F.\n/\nout\n2, 3\n',
        'empty_lines_first': b'\n\n  \t\n0\n0\n2\nout\n-1\n',
        'blank_output_name': b'0\n0\n2\n\n\n  name.dat  \n0\n',
        'long_output_name': b'0\n0\n2\noutput_named_longer_than_20\n7\n',
        'output_is_result_file': b'0\n0\n1\nresult.bin\n0\n',
        'type_outside_menu': b'0\n0\n9\nx.dat\n1\n',
        'no_answers': b'',
        'answers_end_early': b'0\n0\n2\n',
        'work_list_crlf_blanks': b'0\n0\n2\nout\n0\n\0a\r\nb\r\nc\r\n  result.bin     \r\n',
        'work_list_three_lines': b'0\n\0a\nb\nc\n',
        'work_list_missing_file': b'0\n\0a\nb\nc\nmissing.bin\n',
        'work_list_names_itself': b'0\n0\n2\nout\n0\n\0a\nb\nc\nWORK.LST\n',
        'work_list_blank_name': b'0\nresult.bin\n0\n4\nout\n-1\n\0a\nb\nc\n\n',
        'work_list_long_name': b'0\n0\n2\nout\n0\n\0a\nb\nc\nresult.bin          tail\n',
    }
    for target, seeds in (('result', result), ('answers', answers)):
        folder = HERE / 'corpus' / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


main()
