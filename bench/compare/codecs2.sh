# GIF, ICO, TGA, PCX and WBMP: quillet-tool convert against ImageMagick's convert, reading each
# format into BMP and writing it from BMP, on the same 3000 x 2000 picture (ICO: 255 x 255).
codecs2_dir="$BENCH_WORK/codecs2"
mkdir -p "$codecs2_dir"
codecs2_im=/usr/bin/convert
(
  cd "$codecs2_dir"
  $codecs2_im -size 3000x2000 plasma:fractal -seed 7 -blur 0x1 true.bmp
  $codecs2_im true.bmp -colors 256 -type Palette BMP3:palette.bmp
  $codecs2_im true.bmp -monochrome -type Bilevel BMP3:mono.bmp
  $codecs2_im true.bmp -resize 255x255! BMP3:icon.bmp
  $codecs2_im palette.bmp in.gif
  $codecs2_im true.bmp -orient TopLeft in.tga
  $codecs2_im true.bmp -orient TopLeft -compress RLE in-rle.tga
  $codecs2_im true.bmp in.pcx
  $codecs2_im icon.bmp in.ico
  $codecs2_im mono.bmp in.wbmp
)

# codecs2_pair LABEL SOURCE TARGET : times both tools on one conversion.
codecs2_pair() {
  local label=$1 source="$codecs2_dir/$2" target=$3 ours theirs
  if ! "$QUILLET_TOOL" convert "$source" "$codecs2_dir/ours.$target" >/dev/null 2>&1; then
    printf '%-40s skipped: quillet-tool does not take this conversion\n' "$label"
    return 0
  fi
  ours=$(best_of 5 "$QUILLET_TOOL" convert "$source" "$codecs2_dir/ours.$target")
  theirs=$(best_of 5 "$codecs2_im" "$source" "$codecs2_dir/theirs.$target")
  compare "$label" "$ours" "$theirs" "$codecs2_dir/ours.$target" "$codecs2_dir/theirs.$target"
}

codecs2_pair "read GIF (8-bit)" in.gif bmp
codecs2_pair "write GIF (8-bit)" palette.bmp gif
codecs2_pair "read TGA (24-bit)" in.tga bmp
codecs2_pair "read TGA (24-bit, RLE)" in-rle.tga bmp
codecs2_pair "write TGA (24-bit)" true.bmp tga
codecs2_pair "read PCX (24-bit)" in.pcx bmp
codecs2_pair "write PCX (24-bit)" true.bmp pcx
codecs2_pair "write PCX (8-bit)" palette.bmp pcx
codecs2_pair "read ICO (255 x 255)" in.ico bmp
codecs2_pair "write ICO (255 x 255)" icon.bmp ico
codecs2_pair "read WBMP" in.wbmp bmp
codecs2_pair "write WBMP" mono.bmp wbmp
rm -rf "$codecs2_dir"
