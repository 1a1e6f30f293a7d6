#!/bin/bash
# The first process of the USB lab's guest (see scripts/usb-lab.sh): mounts what a system has,
# installs the project's udev rules and modprobe options, starts udevd, loads the USB and HID
# modules, runs the command it was given and powers the guest off.
lab=/mnt/usb-lab
source_root="$(cd "$(dirname "$0")/.." && pwd)"
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
# /tmp stays the host's, seen through the memory overlay: a checkout or build folder there is
# where the command runs.
for folder in /run /dev/shm; do mount -t tmpfs tmpfs "$folder"; done
modprobe configfs && mount -t configfs configfs /sys/kernel/config
cp "$source_root"/packaging/udev/*.rules /etc/udev/rules.d/
cp "$source_root"/packaging/modprobe/*.conf /etc/modprobe.d/ 2>/dev/null
ip link set lo up
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add
udevadm settle
modprobe -a usbhid uhid libcomposite usb_f_acm cdc_acm
# Two device controllers: a bootloader can come up beside another USB serial device.
modprobe dummy_hcd num=2
udevadm settle
(bash -c "$(cat "$lab/command")") > "$lab/output" 2>&1
echo $? > "$lab/status.partial"
sync
mv "$lab/status.partial" "$lab/status"
sync
echo o > /proc/sysrq-trigger
sleep 10
