// Every kind of file the converter reads, built here from the published layouts, never by the
// code under test: raw saves, padded ones, RetroArch's and the Retron 5's packed saves, and the
// copiers' files.
import { deflateSync } from "node:zlib";

export const KiB = 1024;
export const kBodySize = 32 * KiB;

// A cheap byte pattern that differs at every offset of a block and between seeds.
export function pattern(size, seed) {
    const bytes = new Uint8Array(size);
    for (let i = 0; i < size; ++i) {
        bytes[i] = (i * 7 + Math.floor(i / 251) + seed * 31) & 0xff;
    }
    return bytes;
}

// Pseudo-random bytes with no period.
export function noise(size, seed) {
    const bytes = new Uint8Array(size);
    let x = (Math.imul(seed, 2654435761) + 0x9e3779b9) >>> 0;
    for (let i = 0; i < size; ++i) {
        x ^= x << 13; x >>>= 0;
        x ^= x >>> 17;
        x ^= x << 5; x >>>= 0;
        bytes[i] = x >>> 24;
    }
    return bytes;
}

export function concat(...parts) {
    const out = new Uint8Array(parts.reduce((sum, part) => sum + part.length, 0));
    let at = 0;
    for (const part of parts) {
        out.set(part, at);
        at += part.length;
    }
    return out;
}

export function repeat(piece, times) {
    return concat(...Array(times).fill(piece));
}

function filled(size, value) {
    return new Uint8Array(size).fill(value);
}

function littleEndian(value, bytes) {
    const out = new Uint8Array(bytes);
    let rest = BigInt(value);
    for (let i = 0; i < bytes; ++i) {
        out[i] = Number(rest & 0xffn);
        rest >>= 8n;
    }
    return out;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) {
        c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    }
    return c >>> 0;
});

export function crc32(bytes) {
    let crc = 0xffffffff;
    for (const byte of bytes) {
        crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
    }
    return (crc ^ 0xffffffff) >>> 0;
}

// A Super Wild Card header: its mark and the SRAM file type at 8..10, the comment at 16..92.
export function bbdHeader(comment = "") {
    const header = new Uint8Array(512);
    header.set([0xaa, 0xbb, 0x05], 8);
    header.set(Buffer.from(comment.padEnd(77, " ").slice(0, 77), "latin1"), 16);
    return header;
}

export function proFighterHeader() {
    const header = new Uint8Array(512);
    header[0] = 4;
    return header;
}

export function superUfoHeader() {
    const header = new Uint8Array(512);
    header.set(Buffer.from("SUPERUFO", "latin1"), 8);
    return header;
}

// The Super UFO Pro 8 SD's 128 KiB file: the save, then its 128-byte pattern from its first byte.
const kUfoSdTail = Buffer.from(
    "005afc5ef852f456f04aec4ee842e446e07adc7ed872d476d06acc6ec862c466c01abc1eb812b416b00aac0ea802a406a03a9c3e98329436902a8c2e8822842680da7cde78d274d670ca6cce68c264c660fa5cfe58f254f650ea4cee48e244e6409a3c9e38923496308a2c8e2882248620ba1cbe18b214b610aa0cae08a204a6",
    "hex");

export function ufoSdFile(save) {
    const file = new Uint8Array(128 * KiB);
    for (let at = 0; at < file.length; at += kUfoSdTail.length) {
        file.set(kUfoSdTail, at);
    }
    file.set(save, 0);
    return file;
}

// RetroArch's compressed save: "#RZIPv", version 1, "#", the chunk size and the whole size,
// then each chunk as its length and its zlib data.
export function rzipOf(save, chunkSize = 128 * KiB) {
    const parts = [Buffer.from("#RZIPv\x01#", "latin1"), littleEndian(chunkSize, 4),
                   littleEndian(save.length, 8)];
    for (let at = 0; at < save.length; at += chunkSize) {
        const chunk = deflateSync(save.subarray(at, at + chunkSize), { level: 9 });
        parts.push(littleEndian(chunk.length, 4), chunk);
    }
    return concat(...parts);
}

// The Retron 5's save: "RTN5", version 1, flags (1: compressed), the save's size, the data's
// size and offset (24) and the save's CRC-32, little-endian; then the data.
export function retron5Of(save, { crc = crc32(save) } = {}) {
    const data = deflateSync(save, { level: 9 });
    return concat(Buffer.from("RTN5", "latin1"), littleEndian(1, 2), littleEndian(1, 2),
                  littleEndian(save.length, 4), littleEndian(data.length, 4), littleEndian(24, 4),
                  littleEndian(crc, 4), data);
}

export function padded(save, size, fill) {
    return concat(save, filled(size - save.length, fill));
}
