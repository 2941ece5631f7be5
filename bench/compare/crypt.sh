# File encryption: quillet-tool encrypt/decrypt against `openssl enc -bf-ecb` (legacy provider)
# on the same 256 MiB file. An 8-character password repeats into the same Blowfish key as the
# doubled 16-byte key OpenSSL is given, so after our 32-byte key check the bytes must agree.
crypt_dir="$BENCH_WORK/crypt"
mkdir -p "$crypt_dir"
head -c $((256 << 20)) /dev/urandom >"$crypt_dir/data.bin"
crypt_password='Qu1llet!'
crypt_key=$(printf '%s%s' "$crypt_password" "$crypt_password" | od -An -tx1 | tr -d ' \n')
crypt_openssl=(openssl enc -bf-ecb -provider legacy -provider default -K "$crypt_key" -nosalt -nopad)

crypt_ours=$(best_of 3 "$QUILLET_TOOL" encrypt "$crypt_dir/data.bin" --password "$crypt_password")
crypt_theirs=$(best_of 3 "${crypt_openssl[@]}" -e -in "$crypt_dir/data.bin" -out "$crypt_dir/openssl.enc")
compare "encrypt 256 MiB (Blowfish ECB)" "$crypt_ours" "$crypt_theirs"

crypt_ours=$(best_of 3 "$QUILLET_TOOL" decrypt "$crypt_dir/E_data.bin" --password "$crypt_password")
crypt_theirs=$(best_of 3 "${crypt_openssl[@]}" -d -in "$crypt_dir/openssl.enc" -out "$crypt_dir/openssl.dec")
compare "decrypt 256 MiB (Blowfish ECB)" "$crypt_ours" "$crypt_theirs"

if tail -c +33 "$crypt_dir/E_data.bin" | cmp -s - "$crypt_dir/openssl.enc" &&
   cmp -s "$crypt_dir/D_E_data.bin" "$crypt_dir/data.bin"; then
  echo "ciphertext identical to OpenSSL's; decryption restores the file"
else
  echo "crypt: output differs from OpenSSL's" >&2
  rm -rf "$crypt_dir"
  return 1
fi
rm -rf "$crypt_dir"
