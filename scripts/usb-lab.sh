#!/usr/bin/env bash
# Runs a command in a throw-away virtual machine that has the real Linux USB and HID stack: the
# kernel of this machine's kernel package, booted under software emulation (no /dev/kvm needed),
# with this machine's root file system as its own (read-only, with a memory overlay on top),
# systemd-udevd running with the project's udev rules and modprobe options installed, and the
# modules for uhid, the dummy USB host controller, USB gadgets and CDC-ACM loaded.
# Prints the command's output and exits with its status. A guest that does not come up, or a
# command that does not end within the time limit, is a failure with the guest's console output.
# Usage: scripts/usb-lab.sh COMMAND [ARGUMENTS...]   (run from any folder; paths are this machine's)
#   QUORVANE_USB_LAB_TIMEOUT  seconds for the whole run (default 1200)
set -euo pipefail
source_root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENTS...]" >&2; exit 2; }
kernel="$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)"
[ -n "$kernel" ] || { echo "usb-lab: no kernel in /boot (install linux-image-amd64)" >&2; exit 1; }
version="${kernel#/boot/vmlinuz-}"
for tool in qemu-system-x86_64 busybox; do
  command -v "$tool" >/dev/null || { echo "usb-lab: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-usb-lab-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/initramfs/bin" "$work/initramfs/modules" "$work/results"

# The first stage: busybox and the modules that reach the host's files over virtio 9p.
cp "$(command -v busybox)" "$work/initramfs/bin/busybox"
for module in virtio_pci 9pnet_virtio 9p overlay; do
  modprobe -S "$version" --show-depends "$module"
done | awk '$1 == "insmod" && !seen[$2]++ { print $2 }' > "$work/modules"
while read -r module; do
  cp "$module" "$work/initramfs/modules/"
  basename "$module" >> "$work/initramfs/modules/order"
done < "$work/modules"
cat > "$work/initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mkdir -p /proc /sys /dev /lower /upper /newroot
mount -t proc proc /proc
mount -t devtmpfs dev /dev
for module in \$(cat /modules/order); do insmod /modules/\$module; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288 hostroot /lower || exec sh
mount -t tmpfs -o size=1g overlay /upper
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work /newroot || exec sh
mkdir -p /newroot/mnt/usb-lab
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 lab /newroot/mnt/usb-lab || exec sh
umount /proc /dev
exec switch_root /newroot /bin/bash "$source_root/scripts/usb-lab-guest.sh"
INIT
chmod 755 "$work/initramfs/init"
(cd "$work/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) > "$work/initramfs.cpio.gz"

# The command, quoted for the guest's shell.
{
  printf 'cd %q &&' "$PWD"
  printf ' %q' "$@"
  printf '\n'
} > "$work/results/command"

status=0
timeout "${QUORVANE_USB_LAB_TIMEOUT:-1200}" qemu-system-x86_64 \
  -machine pc -accel tcg,thread=multi -cpu max -smp 2 -m 2048 \
  -display none -monitor none -serial "file:$work/console" -no-reboot \
  -kernel "$kernel" -initrd "$work/initramfs.cpio.gz" \
  -append "console=ttyS0 panic=-1 loglevel=4" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$work/results,mount_tag=lab,security_model=none" || status=$?
if [ ! -f "$work/results/status" ]; then
  echo "usb-lab: the guest did not come up or the command did not end (qemu exit $status); its console:" >&2
  cat "$work/console" >&2
  if [ -f "$work/results/output" ]; then
    echo "usb-lab: what the command printed until then:" >&2
    cat "$work/results/output" >&2
  fi
  exit 1
fi
cat "$work/results/output"
exit "$(cat "$work/results/status")"
