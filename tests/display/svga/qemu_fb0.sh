#!/bin/bash
# Manual check on a real framebuffer and virtual console (not run by CTest: it downloads a
# Debian kernel): boots the kernel in qemu (std VGA, VESA 1024x768x32, AC97 sound) with a
# busybox initramfs that runs vgademo on tty1, takes a screenshot of the show, presses q, and
# takes a screenshot of the console after it. Needs qemu-system-x86 and network access to
# Debian's packages. Usage: qemu_fb0.sh BUILD_DIR OUT_DIR
set -eu
BUILD=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
W=$(mktemp -d /tmp/quab-qemu-XXXXXX)
cd "$W"

kernel_pkg=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
apt-get download "$kernel_pkg" busybox-static >/dev/null 2>&1
dpkg-deb -x linux-image-*.deb k
dpkg-deb -x busybox-static*.deb bb
vmlinuz=$(ls k/boot/vmlinuz-*)
sound=$(ls -d k/lib/modules/*/kernel/sound)

mkdir -p root/bin root/proc root/sys root/dev root/tmp root/demo root/modules root/etc root/usr/share
cp bb/bin/busybox root/bin/
for lib in $(ldd "$BUILD/vgademo" | awk '/=>/ {print $3} !/=>/ && /^\t\// {print $1}'); do
    mkdir -p "root$(dirname "$lib")"
    cp -L "$lib" "root$lib"
done
for m in soundcore.ko core/snd.ko core/snd-timer.ko core/snd-pcm.ko ac97_bus.ko \
    pci/ac97/snd-ac97-codec.ko pci/snd-intel8x0.ko; do
    cp "$sound/$m" root/modules/
done
cp -r /usr/share/alsa root/usr/share/
printf 'root:x:0:\naudio:x:29:\nvideo:x:44:\n' >root/etc/group
cp "$BUILD/vgademo" root/demo/
"$BUILD/quab-testassets" root/demo/quab.dat >/dev/null
"$BUILD/quab-testmod" root/demo/music.xm --positions 32 --rows 64 --speed 6 --bpm 125
cat >root/init <<'INIT'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
S=/dev/ttyS0
for m in soundcore snd snd-timer snd-pcm ac97_bus snd-ac97-codec snd-intel8x0; do
    insmod /modules/$m.ko
done
echo "guest: fb0 $(cat /sys/class/graphics/fb0/name) $(cat /sys/class/graphics/fb0/virtual_size) bpp $(cat /sys/class/graphics/fb0/bits_per_pixel)" >$S
cd /demo
echo "guest: starting vgademo on tty1" >$S
setsid -c sh -c 'stty -g >/tmp/before; ./vgademo; echo $? >/tmp/rc; stty -g >/tmp/after' \
    </dev/tty1 >/dev/tty1 2>/tmp/err
echo "guest: vgademo exit status $(cat /tmp/rc)" >$S
cmp /tmp/before /tmp/after >/dev/null && echo "guest: terminal settings restored" >$S
grep -v underrun /tmp/err >$S
echo "guest: done" >$S
sleep 5
poweroff -f
INIT
chmod +x root/init
(cd root && find . | ../bb/bin/busybox cpio -o -H newc 2>/dev/null | gzip -1 >../initrd.gz)

monitor() { python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); time.sleep(0.3); s.recv(65536)
s.sendall((sys.argv[2] + "\n").encode()); time.sleep(0.5)' "$W/mon.sock" "$1"; }

qemu-system-x86_64 -accel tcg -m 1024 -kernel "$vmlinuz" -initrd initrd.gz \
    -append "console=ttyS0 vga=0x344 loglevel=4" -vga std -display none \
    -audiodev none,id=snd0 -device AC97,audiodev=snd0 \
    -serial file:serial.log -monitor unix:mon.sock,server,nowait -no-reboot >qemu.log 2>&1 &
qemu=$!
for _ in $(seq 120); do grep -q "starting vgademo" serial.log 2>/dev/null && break; sleep 1; done
sleep 10
monitor "screendump $W/show.ppm"
monitor "sendkey q"
for _ in $(seq 60); do grep -q "guest: done" serial.log && break; sleep 1; done
sleep 1
monitor "screendump $W/after.ppm"
wait $qemu || true
convert show.ppm "$OUT/qemu_show.png"
convert after.ppm "$OUT/qemu_after.png"
grep -a "guest\|Mikmod" serial.log | tr -d '\r'
echo "screenshots: $OUT/qemu_show.png $OUT/qemu_after.png"
rm -rf "$W"
