#!/usr/bin/env python3
"""Writes core/gbk_table.cpp: code page 936 (GBK) tables for the native
conversion stand-in.

Decoding comes from Python's cp936 codec. On top of it, as the Windows code
page does:
  - 0x80 is U+20AC and 0xFF is U+F8F5;
  - the user-defined areas AAA1-AFFE, F8A1-FEFE and A140-A7A0, in that order,
    map to U+E000 onwards, and every other double-byte code that the codec
    leaves undefined (lead 81-FE, trail 40-7E or 80-FE) follows in ascending
    order;
  - encoding uses the reverse table plus the best-fit list below, which is
    what WideCharToMultiByte(936) applies with flags 0.
Every other input decodes or encodes to '?'.

Usage: scripts/gen_gbk_table.py [output path]
"""
import os
import sys

BEST_FIT = """
    00A2:A1E9 00A3:A1EA 00A5:A3A4 00A6:7C 00AA:61 00AD:2D 00AF:A1A5 00B2:32
    00B3:33 00B4:A1E4 00B5:A6CC 00B9:31 00BA:6F 00C0:A8A4 00C1:A8A2 00C8:A8A8
    00C9:A8A6 00CA:A8BA 00CC:A8AC 00CD:A8AA 00D0:44 00D2:A8B0 00D3:A8AE 00D9:A8B4
    00DA:A8B2 00DC:A8B9 00DD:59 00DE:54 00E2:61 00F0:65 00FD:79 00FE:74
    0100:A8A1 0112:A8A5 011A:A8A7 012A:A8A9 014C:A8AD 016A:A8B1 01C1:A1CE 01CD:A8A3
    01CF:A8AB 01D1:A8AF 01D3:A8B3 01D5:A8B5 01D7:A8B6 01D9:A8B7 01DB:A8B8 203E:A3FE
    2218:A1E3 223C:A1AB 3192:D2BB 3193:B6FE 3194:C8FD 3195:CBC4 3196:C9CF 3197:D6D0
    3198:CFC2 3199:BCD7 319A:D2D2 319B:B1FB 319C:B6A1 319D:CCEC 319E:B5D8 319F:C8CB
    322A:D4C2 322B:BBF0 322C:CBAE 322D:C4BE 322E:BDF0 322F:CDC1 3230:C8D5 3232:D3D0
    3233:C9E7 3234:C3FB 3235:CCD8 3236:B2C6 3237:D7A3 3238:C0CD 3239:B4FA 323A:BAF4
    323B:D1A7 323C:BCE0 323D:C6F3 323E:D7CA 323F:D0AD 3240:BCC0 3241:D0DD 3242:D7D4
    3243:D6C1 3280:D2BB 3281:B6FE 3282:C8FD 3283:CBC4 3284:CEE5 3285:C1F9 3286:C6DF
    3287:B0CB 3288:BEC5 3289:CAAE 328A:D4C2 328B:BBF0 328C:CBAE 328D:C4BE 328E:BDF0
    328F:CDC1 3290:C8D5 3291:D6EA 3292:D3D0 3293:C9E7 3294:C3FB 3295:CCD8 3296:B2C6
    3297:D7A3 3298:C0CD 3299:C3D8 329A:C4D0 329B:C5AE 329C:CACA 329D:D3C5 329F:D7A2
    32A0:CFEE 32A1:D0DD 32A2:D0B4 32A9:D2BD 32AA:D7DA 32AB:D1A7 32AC:BCE0 32AD:C6F3
    32AE:D7CA 32AF:D0AD 32B0:D2B9 F900:D84D F901:B8FC F902:DC87 F903:D95A F904:BBAC
    F905:B4AE F906:BEE4 F907:FD94 F908:FD94 F909:C6F5 F90A:BDF0 F90B:C0AE F90C:C4CE
    F90D:91D0 F90E:B05D F90F:C15F F910:CC7D F911:C2DD F912:C2E3 F913:DF89 F914:98B7
    F915:C2E5 F916:C0D3 F917:E7F3 F918:C2E4 F919:C0D2 F91A:F198 F91B:8179 F91C:C2D1
    F91D:99DA F91E:A080 F91F:CC6D F920:FB5B F921:8DB9 F922:9E45 F923:CB7B F924:D268
    F925:C0AD F926:C544 F927:CF9E F928:C0C8 F929:C0CA F92A:C0CB F92B:C0C7 F92D:81ED
    F92E:C0E4 F92F:84DA F930:93EF F931:99A9 F932:A074 F933:B152 F934:C0CF F935:CC4A
    F936:CC94 F937:C2B7 F938:C2B6 F939:F494 F93A:FA98 F93B:C2B5 F93C:B593 F93D:BE47
    F93E:C78A F93F:E49B F940:C2B9 F941:D593 F942:89C5 F943:C5AA F944:BB5C F945:C340
    F946:C0CE F947:C0DA F948:D954 F949:C0D7 F94A:89BE F94B:8CD2 F94C:98C7 F94D:9C49
    F94E:C2A9 F94F:C0DB F950:BF7C F951:C2AA F952:C0D5 F953:C0DF F954:8443 F955:C1E8
    F956:B6A0 F957:BE63 F958:C1E2 F959:C1EA F95A:D778 F95B:9282 F95C:98B7 F95D:D65A
    F95E:B5A4 F95F:8C8E F960:C5AD F961:C2CA F962:AE90 F963:B1B1 F964:B491 F965:B1E3
    F966:8FCD F967:B2BB F968:C3DA F969:94B5 F96A:CBF7 F96B:85A2 F96C:C8FB F96D:CAA1
    F96E:C87E F96F:D566 F970:9AA2 F971:B3BD F972:C9F2 F973:CAB0 F974:C8F4 F975:C2D3
    F976:C2D4 F977:C1C1 F978:83C9 F97A:C1BA F97B:BC5A F97C:C1BC F97D:D58F F97E:C1BF
    F97F:84EE F980:85CE F981:C5AE F982:8F5D F983:C2C3 F984:9E56 F985:B55A F986:E982
    F987:F350 F988:FB90 F989:C0E8 F98A:C1A6 F98B:95D1 F98C:9A76 F98D:DE5D F98E:C4EA
    F98F:917A F990:91D9 F991:93D3 F992:9D69 F993:9F92 F994:AD49 F996:BE9A F997:C293
    F998:DD82 F999:C98F F99A:DF42 F99B:E580 F99C:C1D0 F99D:C1D3 F99E:D1CA F99F:C1D2
    F9A0:C1D1 F9A1:D566 F9A2:C1AE F9A3:C4EE F9A4:C4ED F9A5:9A9A F9A6:BA9F F9A7:AB43
    F9A8:C1EE F9A9:E0F2 F9AA:8C8E F9AB:8E58 F9AC:C1AF F9AD:C1E1 F9AE:AC93 F9AF:C1E7
    F9B0:F1F6 F9B1:E28F F9B2:C1E3 F9B3:EC60 F9B4:EE49 F9B5:C0FD F9B6:B659 F9B7:F5B7
    F9B8:EB60 F9B9:90BA F9BA:C1CB F9BB:C1C5 F9BC:E5BC F9BD:C4F2 F9BE:C1CF F9BF:98B7
    F9C0:C1C7 F9C1:AF9F F9C2:DEA4 F9C3:DF7C F9C4:FD88 F9C5:959E F9C6:C8EE F9C7:84A2
    F9C8:9683 F9C9:C1F8 F9CA:C1F7 F9CB:C1EF F9CC:C1F0 F9CD:C1F4 F9CE:C1F2 F9CF:BC7E
    F9D0:EE90 F9D1:C1F9 F9D2:C2BE F9D3:EA91 F9D4:8290 F9D5:8D91 F9D6:9C53 F9D7:DD86
    F9D8:C2C9 F9D9:90FC F9DA:C0F5 F9DB:C2CA F9DC:C2A1 F9DD:C0FB F9DE:C0F4 F9DF:C2C4
    F9E0:D2D7 F9E1:C0EE F9E2:C0E6 F9E3:C4E0 F9E4:C0ED F9E5:C1A1 F9E6:EEBE F9E8:D165
    F9E9:C0EF F9EA:EB78 F9EB:C4E4 F9EC:C4E7 F9ED:C1DF F9EE:9FFB F9EF:AD55 F9F0:CC41
    F9F2:F75B F9F3:F7EB F9F4:C1D6 F9F5:C1DC F9F6:C552 F9F7:C1A2 F9F8:F3D2 F9F9:C1A3
    F9FA:A0EE F9FB:D6CB F9FC:D752 F9FD:CAB2 F9FE:B2E8 F9FF:B4CC FA00:C7D0 FA01:B6C8
    FA02:CDD8 FA03:CCC7 FA04:D5AC FA05:B6B4 FA06:B1A9 FA07:DD97 FA08:D0D0 FA09:BDB5
    FA0A:D28A FA0B:C0AA FA10:8956 FA12:C7E7 FA15:8444 FA16:D869 FA17:D2E6 FA19:C9F1
    FA1A:CFE9 FA1B:B8A3 FA1C:BEB8 FA1D:BEAB FA1E:D3F0 FA22:D654 FA25:D2DD FA26:B6BC
    FA2A:EF88 FA2B:EF95 FA2C:F05E FA2D:FA51
"""

TRAILS = [t for t in range(0x40, 0xFF) if t != 0x7F]


def area(lead0, lead1, trail0, trail1):
    return [(l << 8) | t for l in range(lead0, lead1 + 1)
            for t in range(trail0, trail1 + 1) if t != 0x7F]


def build():
    single = list(range(0x80)) + [0] * 0x80
    single[0x80] = 0x20AC
    single[0xFF] = 0xF8F5
    double = {}
    undefined = []
    for lead in range(0x81, 0xFF):
        for trail in TRAILS:
            code = (lead << 8) | trail
            try:
                text = bytes([lead, trail]).decode('cp936')
            except UnicodeDecodeError:
                undefined.append(code)
                continue
            assert len(text) == 1
            double[code] = ord(text)
    user = area(0xAA, 0xAF, 0xA1, 0xFE) + area(0xF8, 0xFE, 0xA1, 0xFE) + area(0xA1, 0xA7, 0x40, 0xA0)
    user_set = set(user)
    assert user_set <= set(undefined)
    pua = 0xE000
    for code in user + [c for c in undefined if c not in user_set]:
        double[code] = pua
        pua += 1
    assert pua == 0xE865, hex(pua)
    best_fit = []
    for item in BEST_FIT.split():
        u, code = item.split(':')
        best_fit.append((int(u, 16), int(code, 16)))
    return single, double, best_fit


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, 'core', 'gbk_table.cpp')
    single, double, best_fit = build()
    lines = ['// Generated by scripts/gen_gbk_table.py; do not edit.',
             '#include "core/gbk_table.h"', '',
             'const uint16_t GbkSingleTable[256] = {']
    for i in range(0, 256, 16):
        lines.append('    ' + ' '.join('0x%04X,' % v for v in single[i:i + 16]))
    lines.append('};')
    lines.append('')
    lines.append('const uint16_t GbkDoubleTable[GbkLeadCount * GbkTrailCount] = {')
    for lead in range(0x81, 0xFF):
        row = [double.get((lead << 8) | t, 0) for t in range(0x40, 0xFF)]
        for i in range(0, len(row), 16):
            lines.append('    ' + ' '.join('0x%04X,' % v for v in row[i:i + 16]))
    lines.append('};')
    lines.append('')
    lines.append('const uint16_t GbkBestFit[GbkBestFitCount][2] = {')
    for i in range(0, len(best_fit), 6):
        lines.append('    ' + ' '.join('{0x%04X, 0x%04X},' % p for p in best_fit[i:i + 6]))
    lines.append('};')
    text = '\n'.join(lines) + '\n'
    header = os.path.join(root, 'core', 'gbk_table.h')
    with open(header, encoding='ascii') as f:
        if 'GbkBestFitCount = %d;' % len(best_fit) not in f.read():
            sys.exit('core/gbk_table.h: GbkBestFitCount must be %d' % len(best_fit))
    with open(out, 'w', encoding='ascii', newline='\n') as f:
        f.write(text)


if __name__ == '__main__':
    main()
