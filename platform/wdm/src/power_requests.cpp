// Power requests that tests send to a card's stack, as the power manager
// sends them for a system or device state change or query.
#include "kernel.h"
#include "sim_kernel.h"

namespace {

PDEVICE_OBJECT card_pdo(std::size_t card) {
  const std::vector<kernel::DeviceNode*> all = kernel::nodes();
  return card < all.size() ? all[card]->pdo : nullptr;
}

NTSTATUS send_power(std::size_t card, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state) {
  kernel::SystemContext system;
  PDEVICE_OBJECT pdo = card_pdo(card);
  if (!pdo || !pdo->AttachedDevice) return STATUS_NO_SUCH_DEVICE;
  PDEVICE_OBJECT top = kernel::top_of_stack(pdo);
  PIRP irp = kernel::allocate_irp(top->StackSize, {});
  if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = IRP_MJ_POWER;
  next->MinorFunction = minor;
  next->Parameters.Power.Type = type;
  next->Parameters.Power.State = state;
  if (type == SystemPowerState)
    next->Parameters.Power.ShutdownType =
        state.SystemState == PowerSystemWorking ? PowerActionNone
        : state.SystemState == PowerSystemShutdown ? PowerActionShutdown
        : state.SystemState == PowerSystemHibernate ? PowerActionHibernate
                                                    : PowerActionSleep;
  return kernel::send_and_wait(top, irp);
}

POWER_STATE device_state(DEVICE_POWER_STATE d) {
  POWER_STATE state;
  state.DeviceState = d;
  return state;
}

POWER_STATE system_state(SYSTEM_POWER_STATE s) {
  POWER_STATE state;
  state.SystemState = s;
  return state;
}

}  // namespace

namespace sim {

NTSTATUS set_device_power(std::size_t card, DEVICE_POWER_STATE state) {
  return send_power(card, IRP_MN_SET_POWER, DevicePowerState, device_state(state));
}

NTSTATUS query_device_power(std::size_t card, DEVICE_POWER_STATE state) {
  return send_power(card, IRP_MN_QUERY_POWER, DevicePowerState, device_state(state));
}

NTSTATUS set_system_power(std::size_t card, SYSTEM_POWER_STATE state) {
  return send_power(card, IRP_MN_SET_POWER, SystemPowerState, system_state(state));
}

NTSTATUS query_system_power(std::size_t card, SYSTEM_POWER_STATE state) {
  return send_power(card, IRP_MN_QUERY_POWER, SystemPowerState, system_state(state));
}

DEVICE_POWER_STATE reported_power_state(std::size_t card) {
  PDEVICE_OBJECT pdo = card_pdo(card);
  if (!pdo || !pdo->AttachedDevice) return PowerDeviceUnspecified;
  return pdo->AttachedDevice->DeviceObjectExtension->device_power.DeviceState;
}

}  // namespace sim
