#!/usr/bin/env bash
# The certificates of the TLS tests, made with the openssl command in DIR:
#   ca.crt/.key        the test's authority          other-ca.crt/.key   another authority
#   server.crt/.key    for 127.0.0.1 and localhost   client.crt/.key     a station, by ca
#   expired.crt        server's key, its time over   future.crt          its time not yet come
#   elsewhere.crt      for another name only         stranger.crt        signed by other-ca
#   stranger-client.crt/.key  the same station's name, by other-ca
# and auth/station1/allowed_certs, where ser2net finds the authority whose certificates it takes
# for the station named "station1".
#   make_certs.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
authority() {  # authority NAME CN
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$2" -keyout "$1.key" -out "$1.crt" 2>/dev/null
}
request() {  # request NAME CN [SAN]
  openssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$1.key" -out "$1.csr" \
    ${3:+-addext "subjectAltName=$3"} 2>/dev/null
}
# sign NAME CSR CA START END: by the authority, between the two times (YYYYMMDDHHMMSSZ), with
# the request's alternative names.
sign() {
  local ca=$3
  rm -rf db && mkdir db && : >db/index.txt && echo 01 >db/serial
  cat >db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
dir = db
database = db/index.txt
new_certs_dir = db
serial = db/serial
default_md = sha256
policy = any
copy_extensions = copy
unique_subject = no
[any]
commonName = supplied
CNF
  openssl ca -batch -notext -config db/ca.cnf -cert "$ca.crt" -keyfile "$ca.key" -in "$2" -out "$1.crt" \
    -startdate "$4" -enddate "$5" 2>/dev/null
}
now=$(date -u +%Y%m%d%H%M%SZ)
later=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
authority ca "kv306 test CA"
authority other-ca "another CA"
request server 127.0.0.1 "IP:127.0.0.1,DNS:localhost"
sign server server.csr ca "$now" "$later"
sign expired server.csr ca 20250101000000Z 20250201000000Z
sign future server.csr ca "$(date -u -d '+10 days' +%Y%m%d%H%M%SZ)" "$later"
request elsewhere unit.plant.example "DNS:unit.plant.example"
sign elsewhere elsewhere.csr ca "$now" "$later"
sign stranger server.csr other-ca "$now" "$later"
request client station1
sign client client.csr ca "$now" "$later"
request stranger-client station1
sign stranger-client stranger-client.csr other-ca "$now" "$later"
mkdir -p auth/station1/allowed_certs
cp ca.crt auth/station1/allowed_certs/
openssl rehash auth/station1/allowed_certs
rm -rf db ./*.csr
chmod 600 ./*.key
